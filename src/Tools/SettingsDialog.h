#pragma once

#include <QDialog>
#include <QJsonObject>
#include <QVariant>

#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTabWidget;
class RtlsObject;

// The settings of one node, a page for each thing the command vocabulary
// can change: general (name, mode, reset, firmware update), roles, seat and
// group, position, antenna delays, sensors, user text, parent and the
// system's UWB channel.
//
// The node's values are asked for when the dialog opens; a field follows
// the answers until the user changes it. Apply sends only the fields that
// differ from the node's values and reads them back; a value that cannot be
// read is never sent. Mode changes, resets and firmware updates ask first.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(uint64_t id, QWidget *parent = nullptr);
    ~SettingsDialog() override;

    uint64_t nodeId() const { return m_id; }

public slots:
    // Asks the masters for the node's values.
    void readValues();
    // Sends what changed; false when a field could not be read (the others
    // are sent all the same).
    bool apply();
    void accept() override;
    void resetNode();
    void forceFirmwareUpdate();

private slots:
    void nodeUpdated(RtlsObject *node);
    void antennaDelays(uint64_t id, uint16_t tx, uint16_t rx);
    void serviceData(QJsonObject obj);
    void applyPreset(int index);
    void flagDelays();

private:
    // One value of the node shown in a widget: what the node was last known
    // to have, and how to read and write the widget.
    struct Field
    {
        std::function<QVariant()> read; // invalid when the text cannot be read
        std::function<void(const QVariant &)> write;
        QVariant baseline;
        bool known = false;

        bool changed() const { return known && read() != baseline; }
        // A new value of the node: the widget follows unless the user changed it.
        void follow(const QVariant &value);
    };

    QWidget *makeGeneralPage();
    QWidget *makeRolesPage();
    QWidget *makeSeatPage();
    QWidget *makePositionPage();
    QWidget *makeAntennaPage();
    QWidget *makeSensorsPage();
    QWidget *makeUserTextPage();
    QWidget *makeParentPage();
    QWidget *makeChannelPage();
    void loadFromNode(RtlsObject *node);
    void enablePages(RtlsObject *node);
    bool confirm(const QString &title, const QString &text);
    bool pageEnabled(QWidget *page) const;
    uint32_t rolesFromBoxes(bool *ok) const;
    // Both delays inside the window that every tool writes.
    bool delaysWritable() const;
    QString delayWindowText() const;
    void showRoles(uint32_t roles);

    const uint64_t m_id;
    QTabWidget *m_pages = nullptr;
    QWidget *m_positionPage = nullptr;
    QWidget *m_sensorsPage = nullptr;
    QWidget *m_userTextPage = nullptr;
    QWidget *m_parentPage = nullptr;
    QDialogButtonBox *m_buttons = nullptr;

    QLineEdit *m_name = nullptr;
    QComboBox *m_mode = nullptr;
    QList<QCheckBox *> m_roleBoxes;
    QLineEdit *m_otherRoles = nullptr;
    QComboBox *m_presets = nullptr;
    QSpinBox *m_seat = nullptr;
    QSpinBox *m_group = nullptr;
    std::array<QLineEdit *, 3> m_axis{};
    std::array<QCheckBox *, 3> m_auto{};
    QSpinBox *m_tx = nullptr;
    QSpinBox *m_rx = nullptr;
    QLabel *m_antennaState = nullptr;
    QComboBox *m_sensors = nullptr;
    QComboBox *m_userType = nullptr;
    QLineEdit *m_userText = nullptr;
    QLabel *m_currentParent = nullptr;
    QComboBox *m_parent = nullptr;
    QComboBox *m_channel = nullptr;

    Field m_nameField;
    Field m_modeField;
    Field m_rolesField;
    Field m_seatField;
    Field m_groupField;
    std::array<Field, 3> m_axisField;
    Field m_txField;
    Field m_rxField;
};
