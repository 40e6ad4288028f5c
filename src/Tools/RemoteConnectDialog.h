#pragma once

#include "MqttConfig.h"

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// "Connect to broker...": where the site's manager publishes (broker, login,
// TLS, topic prefix), filled in from the MQTT settings. Confirmed, the window
// becomes a remote view of that site.
class RemoteConnectDialog : public QDialog
{
    Q_OBJECT

public:
    explicit RemoteConnectDialog(const MqttConfig &initial, QWidget *parent = nullptr);

    // The settings as entered; publishing is not part of a view's settings
    // and keeps the initial value.
    MqttConfig config() const;

private:
    void check();

    MqttConfig m_initial;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QLineEdit *m_username;
    QLineEdit *m_password;
    QCheckBox *m_tls;
    QLineEdit *m_caFile;
    QLineEdit *m_prefix;
    QLabel *m_problem;
    QDialogButtonBox *m_buttons;
};
