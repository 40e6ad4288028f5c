#pragma once

#include "MqttConfig.h"
#include "SettingsTabWidget.h"

class MqttPublisher;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The "MQTT" panel of the settings tab: publishing on or off (at once), the
// broker, login, TLS, topic prefix and rate limit (with Apply, so that a
// half-typed host name never becomes a connection attempt), and how the
// connection is doing. A field being edited keeps what the user typed when
// the settings change underneath (a settings file loaded, the menu).
class MqttSettings : public SettingsTabWidget
{
    Q_OBJECT

public:
    explicit MqttSettings(MqttPublisher *publisher, QWidget *parent = nullptr);

    // "connected to …", "connecting to …", "cannot reach …", "off".
    static QString stateText(const MqttPublisher *publisher);

public slots:
    // Hands the edited settings to the publisher; false (and the reason in
    // the panel) when a field cannot be used.
    bool apply();
    // Back to the settings in use.
    void revert();

private:
    MqttConfig edited() const;
    void showConfig(const MqttConfig &config, bool keepEdits);
    void updateButtons();
    void updateStatus();
    void browseCaFile();

    MqttPublisher *m_publisher;
    // What the fields showed when last filled from the publisher; a field
    // that differs from it is being edited.
    MqttConfig m_shown;

    QCheckBox *m_enabled;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QLineEdit *m_prefix;
    QLabel *m_status;
    QLabel *m_problem;
    QPushButton *m_apply;
    QPushButton *m_revert;
    QLineEdit *m_clientId;
    QLineEdit *m_username;
    QLineEdit *m_password;
    QCheckBox *m_tls;
    QLineEdit *m_caFile;
    QDoubleSpinBox *m_rate;
};
