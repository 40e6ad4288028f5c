#include "SettingsDialog.h"

#include "CalibrationConstants.h"
#include "DelayBox.h"
#include "NodeDetailText.h"
#include "NodeRoles.h"
#include "NodeToolsConstants.h"
#include "RtlsConvert.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kAuto = QStringLiteral("auto");
constexpr int kRoleColumns = 2;
constexpr int kUwbChannels[] = {1, 2, 3, 4, 5, 7};

SentrovaInterface *hub()
{
    return SentrovaInterface::instance();
}


QString storedName(RtlsObject *node)
{
    // name() falls back to the id; the field shows only a name given.
    return node->toJson().value(QLatin1String("name")).toString();
}

float axisValue(RtlsPos *pos, int axis)
{
    return axis == 0 ? pos->x() : axis == 1 ? pos->y() : pos->z();
}

} // namespace

void SettingsDialog::Field::follow(const QVariant &value)
{
    if (!known || read() == baseline)
        write(value);
    baseline = value;
    known = true;
}

SettingsDialog::SettingsDialog(uint64_t id, QWidget *parent) : QDialog(parent), m_id(id)
{
    RtlsObject *node = hub()->node(id);
    setWindowTitle(tr("Settings of %1").arg(node ? node->name() : Rtls::hexText(id)));

    m_pages = new QTabWidget(this);
    m_pages->addTab(makeGeneralPage(), tr("General"));
    m_pages->addTab(makeRolesPage(), tr("Roles"));
    m_pages->addTab(makeSeatPage(), tr("Seat && Group"));
    m_positionPage = makePositionPage();
    m_pages->addTab(m_positionPage, tr("Position"));
    m_pages->addTab(makeAntennaPage(), tr("Antenna"));
    m_sensorsPage = makeSensorsPage();
    m_pages->addTab(m_sensorsPage, tr("Sensors"));
    m_userTextPage = makeUserTextPage();
    m_pages->addTab(m_userTextPage, tr("User Text"));
    m_parentPage = makeParentPage();
    m_pages->addTab(m_parentPage, tr("Parent"));
    m_pages->addTab(makeChannelPage(), tr("UWB"));

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &SettingsDialog::apply);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(m_buttons);

    connect(hub(), &SentrovaInterface::nodeUpdatedSignal, this, &SettingsDialog::nodeUpdated);
    connect(hub(), &SentrovaInterface::newAntennaDelays, this, &SettingsDialog::antennaDelays);
    connect(hub(), &SentrovaInterface::svcDataReceived, this, &SettingsDialog::serviceData);

    if (node)
        loadFromNode(node);
    readValues();
}

SettingsDialog::~SettingsDialog() = default;

// ---- pages -----------------------------------------------------------------

QWidget *SettingsDialog::makeGeneralPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_name = new QLineEdit(page);
    m_name->setObjectName(QStringLiteral("name"));
    form->addRow(tr("Name"), m_name);
    // No command names a node: the name lives in the manager.
    auto *nameNote = new QLabel(tr("Kept by the manager and saved with its settings; a name the master "
                                   "reports for the node replaces it."),
                                page);
    nameNote->setWordWrap(true);
    form->addRow(nameNote);
    m_nameField.read = [this] { return QVariant(m_name->text().simplified()); };
    m_nameField.write = [this](const QVariant &v) { m_name->setText(v.toString()); };

    m_mode = new QComboBox(page);
    m_mode->setObjectName(QStringLiteral("mode"));
    const std::pair<const char *, const char *> modes[] = {
        {QT_TR_NOOP("Tag"), "tag"},
        {QT_TR_NOOP("Anchor"), "anchor"},
        {QT_TR_NOOP("Master (secondary)"), "master"},
        {QT_TR_NOOP("Master (primary)"), "primary"},
        {QT_TR_NOOP("Offline"), "offline"},
    };
    for (const auto &m : modes)
        m_mode->addItem(tr(m.first), QLatin1String(m.second));
    form->addRow(tr("Mode"), m_mode);
    m_modeField.read = [this] { return m_mode->currentData(); };
    m_modeField.write = [this](const QVariant &v) {
        int index = m_mode->findData(v);
        if (index < 0) {
            // A mode the masters reported that the list does not name.
            m_mode->addItem(v.toString(), v);
            index = m_mode->count() - 1;
        }
        m_mode->setCurrentIndex(index);
    };

    auto *reset = new QPushButton(tr("Reset Node..."), page);
    reset->setObjectName(QStringLiteral("reset"));
    connect(reset, &QPushButton::clicked, this, &SettingsDialog::resetNode);
    auto *update = new QPushButton(tr("Update Firmware..."), page);
    update->setObjectName(QStringLiteral("firmware"));
    connect(update, &QPushButton::clicked, this, &SettingsDialog::forceFirmwareUpdate);
    auto *actions = new QHBoxLayout;
    actions->addWidget(reset);
    actions->addWidget(update);
    actions->addStretch();
    form->addRow(tr("Actions"), actions);
    return page;
}

QWidget *SettingsDialog::makeRolesPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    m_presets = new QComboBox(page);
    m_presets->setObjectName(QStringLiteral("presets"));
    m_presets->addItem(tr("Choose a preset..."));
    for (const NodeRoles::Preset &p : NodeRoles::presets())
        m_presets->addItem(QCoreApplication::translate("NodeRoles", p.name), QVariant(uint(p.roles)));
    connect(m_presets, QOverload<int>::of(&QComboBox::activated), this, &SettingsDialog::applyPreset);
    layout->addWidget(m_presets);

    auto *grid = new QGridLayout;
    const QVector<NodeRoles::Bit> &bits = NodeRoles::bits();
    for (int i = 0; i < bits.size(); ++i) {
        auto *box = new QCheckBox(QStringLiteral("%1  %2").arg(NodeRoles::hex(bits[i].mask),
                                                              QCoreApplication::translate("NodeRoles", bits[i].name)),
                                  page);
        box->setObjectName(QStringLiteral("role_") + Rtls::hexId(bits[i].mask));
        box->setProperty("mask", uint(bits[i].mask));
        grid->addWidget(box, i / kRoleColumns, i % kRoleColumns);
        m_roleBoxes.append(box);
    }
    layout->addLayout(grid);
    auto *other = new QFormLayout;
    m_otherRoles = new QLineEdit(page);
    m_otherRoles->setObjectName(QStringLiteral("otherRoles"));
    other->addRow(tr("Other bits"), m_otherRoles);
    layout->addLayout(other);
    layout->addStretch();

    m_rolesField.read = [this] {
        bool ok = false;
        const uint32_t roles = rolesFromBoxes(&ok);
        return ok ? QVariant(uint(roles)) : QVariant();
    };
    m_rolesField.write = [this](const QVariant &v) { showRoles(v.toUInt()); };
    return page;
}

uint32_t SettingsDialog::rolesFromBoxes(bool *ok) const
{
    uint32_t roles = 0;
    for (QCheckBox *box : m_roleBoxes)
        if (box->isChecked())
            roles |= box->property("mask").toUInt();
    const QString other = m_otherRoles->text().trimmed();
    *ok = true;
    if (!other.isEmpty()) {
        const uint32_t bits = Rtls::parseHex32(other);
        // parseHex32 gives 0 for text that is not a number: only "0" may.
        *ok = bits != 0 || other == QLatin1String("0") || other.compare(QLatin1String("0x0"), Qt::CaseInsensitive) == 0;
        roles |= bits;
    }
    return roles;
}

void SettingsDialog::showRoles(uint32_t roles)
{
    for (QCheckBox *box : qAsConst(m_roleBoxes))
        box->setChecked(roles & box->property("mask").toUInt());
    const uint32_t other = NodeRoles::unnamedBits(roles);
    m_otherRoles->setText(other ? NodeRoles::hex(other) : QString());
}

void SettingsDialog::applyPreset(int index)
{
    const QVariant roles = m_presets->itemData(index);
    if (roles.isValid())
        showRoles(roles.toUInt());
    m_presets->setCurrentIndex(0);
}

QWidget *SettingsDialog::makeSeatPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_seat = new QSpinBox(page);
    m_seat->setObjectName(QStringLiteral("seat"));
    m_seat->setRange(-1, NodeTools::kSeatMax);
    m_seat->setSpecialValueText(NodeDetailText::unknown());
    form->addRow(tr("Seat"), m_seat);
    m_group = new QSpinBox(page);
    m_group->setObjectName(QStringLiteral("group"));
    m_group->setRange(-1, NodeTools::kGroupMax);
    m_group->setSpecialValueText(NodeDetailText::unknown());
    form->addRow(tr("Group"), m_group);
    m_seatField.read = [this] { return QVariant(m_seat->value()); };
    m_seatField.write = [this](const QVariant &v) { m_seat->setValue(v.toInt()); };
    m_groupField.read = [this] { return QVariant(m_group->value()); };
    m_groupField.write = [this](const QVariant &v) { m_group->setValue(v.toInt()); };
    return page;
}

QWidget *SettingsDialog::makePositionPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    const char *const labels[] = {QT_TR_NOOP("X [m]"), QT_TR_NOOP("Y [m]"), QT_TR_NOOP("Z [m]")};
    const char *const names[] = {"x", "y", "z"};
    for (int axis = 0; axis < 3; ++axis) {
        auto *edit = new QLineEdit(page);
        edit->setObjectName(QLatin1String(names[axis]));
        auto *automatic = new QCheckBox(tr("auto"), page);
        automatic->setObjectName(QStringLiteral("auto_") + QLatin1String(names[axis]));
        connect(automatic, &QCheckBox::toggled, edit, &QWidget::setDisabled);
        grid->addWidget(new QLabel(tr(labels[axis]), page), axis, 0);
        grid->addWidget(edit, axis, 1);
        grid->addWidget(automatic, axis, 2);
        m_axis[size_t(axis)] = edit;
        m_auto[size_t(axis)] = automatic;
        Field &field = m_axisField[size_t(axis)];
        field.read = [edit, automatic] {
            if (automatic->isChecked())
                return QVariant(kAuto);
            double v = 0.0;
            if (!NodeDetailText::parseCoordinate(edit->text(), &v))
                return QVariant();
            // Compared as the node stores it.
            return QVariant(double(float(v)));
        };
        field.write = [edit, automatic](const QVariant &v) {
            const bool isAuto = v.toString() == kAuto;
            automatic->setChecked(isAuto);
            edit->setText(isAuto ? QString() : NodeDetailText::coordinate(float(v.toDouble()), true));
        };
    }
    grid->addWidget(new QLabel(tr("\"auto\" lets the master place the node."), page), 3, 0, 1, 3);
    grid->setRowStretch(4, 1);
    return page;
}

QWidget *SettingsDialog::makeAntennaPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_tx = new QSpinBox(page);
    m_tx->setObjectName(QStringLiteral("txDelay"));
    m_rx = new QSpinBox(page);
    m_rx->setObjectName(QStringLiteral("rxDelay"));
    for (QSpinBox *box : {m_tx, m_rx}) {
        DelayBox::prepare(box, 0);
        // Nothing to send until the node's delays are known.
        box->setEnabled(false);
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &SettingsDialog::flagDelays);
    }
    form->addRow(tr("TX delay"), m_tx);
    form->addRow(tr("RX delay"), m_rx);
    m_antennaState = new QLabel(tr("Reading the delays..."), page);
    m_antennaState->setObjectName(QStringLiteral("antennaState"));
    form->addRow(m_antennaState);
    m_txField.read = [this] { return QVariant(m_tx->value()); };
    m_txField.write = [this](const QVariant &v) { m_tx->setValue(v.toInt()); };
    m_rxField.read = [this] { return QVariant(m_rx->value()); };
    m_rxField.write = [this](const QVariant &v) { m_rx->setValue(v.toInt()); };
    return page;
}

QWidget *SettingsDialog::makeSensorsPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_sensors = new QComboBox(page);
    m_sensors->setObjectName(QStringLiteral("sensors"));
    m_sensors->addItem(tr("(unchanged)"));
    const std::pair<const char *, const char *> modes[] = {
        {QT_TR_NOOP("None"), "none"},
        {QT_TR_NOOP("Yaw-Pitch-Roll"), "ypr"},
        {QT_TR_NOOP("Raw Data (9-DOF)"), "agm"},
        {QT_TR_NOOP("Quaternions"), "quat"},
        {QT_TR_NOOP("Idle detect"), "idle"},
    };
    for (const auto &m : modes)
        m_sensors->addItem(tr(m.first), QLatin1String(m.second));
    form->addRow(tr("Sensor output"), m_sensors);
    return page;
}

QWidget *SettingsDialog::makeUserTextPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_userType = new QComboBox(page);
    m_userType->setObjectName(QStringLiteral("userType"));
    m_userType->addItem(tr("Text"), NodeTools::kUserDataText);
    m_userType->addItem(tr("Cursor"), NodeTools::kUserDataCursor);
    m_userType->addItem(tr("Target anchor"), NodeTools::kUserDataTarget);
    m_userText = new QLineEdit(page);
    m_userText->setObjectName(QStringLiteral("userText"));
    m_userText->setPlaceholderText(tr("sent when not empty"));
    form->addRow(tr("Type"), m_userType);
    form->addRow(tr("Text"), m_userText);
    return page;
}

QWidget *SettingsDialog::makeParentPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_currentParent = new QLabel(NodeDetailText::unknown(), page);
    m_currentParent->setObjectName(QStringLiteral("currentParent"));
    form->addRow(tr("Current parent"), m_currentParent);
    m_parent = new QComboBox(page);
    m_parent->setObjectName(QStringLiteral("parent"));
    m_parent->addItem(tr("(unchanged)"));
    m_parent->addItem(QStringLiteral("None"), QStringLiteral("None"));
    QList<uint64_t> anchors = hub()->anchorIds();
    std::sort(anchors.begin(), anchors.end());
    for (uint64_t anchor : qAsConst(anchors))
        if (anchor != m_id)
            m_parent->addItem(Rtls::hexId(anchor), Rtls::hexId(anchor));
    form->addRow(tr("New parent"), m_parent);
    return page;
}

QWidget *SettingsDialog::makeChannelPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_channel = new QComboBox(page);
    m_channel->setObjectName(QStringLiteral("channel"));
    m_channel->addItem(tr("(unchanged)"));
    for (int channel : kUwbChannels)
        m_channel->addItem(QString::number(channel), channel);
    form->addRow(tr("UWB channel"), m_channel);
    form->addRow(new QLabel(tr("The channel applies to every node of the system."), page));
    return page;
}

// ---- values ----------------------------------------------------------------

void SettingsDialog::readValues()
{
    RtlsObject *node = hub()->node(m_id);
    if (!node)
        return;
    SentrovaInterface *h = hub();
    h->getDetails(m_id);
    h->getRoles(m_id);
    h->getSeat(m_id);
    if (Rtls::isAnchorOrMaster(node->mode())) {
        h->getPosition(m_id);
        h->getParent(m_id);
    }
    h->getAntennaDelays(m_id);
}

void SettingsDialog::loadFromNode(RtlsObject *node)
{
    m_nameField.follow(storedName(node));
    if (!node->mode().isEmpty())
        m_modeField.follow(node->mode());
    m_rolesField.follow(uint(node->roles()));
    m_seatField.follow(int(node->seat()));
    m_groupField.follow(int(node->group()));
    // A node without a position record has every axis "auto"; reading it
    // creates none.
    RtlsPos *pos = node->hasPos() ? node->pos() : nullptr;
    for (int axis = 0; axis < 3; ++axis) {
        const bool known = pos && (pos->flags() & Rtls::kPosAxis[axis]);
        m_axisField[size_t(axis)].follow(known ? QVariant(double(axisValue(pos, axis))) : QVariant(kAuto));
    }
    enablePages(node);
}

void SettingsDialog::enablePages(RtlsObject *node)
{
    const QString mode = node->mode();
    const bool fixed = Rtls::isAnchorOrMaster(mode);
    const bool tag = mode == QLatin1String("tag");
    m_pages->setTabEnabled(m_pages->indexOf(m_positionPage), fixed);
    m_pages->setTabEnabled(m_pages->indexOf(m_sensorsPage), tag);
    m_pages->setTabEnabled(m_pages->indexOf(m_userTextPage), tag);
    m_pages->setTabEnabled(m_pages->indexOf(m_parentPage), mode == QLatin1String("anchor"));
    m_seat->setEnabled(fixed);
}

bool SettingsDialog::pageEnabled(QWidget *page) const
{
    return m_pages->isTabEnabled(m_pages->indexOf(page));
}

void SettingsDialog::nodeUpdated(RtlsObject *node)
{
    if (node && node->id() == m_id)
        loadFromNode(node);
}

void SettingsDialog::antennaDelays(uint64_t id, uint16_t tx, uint16_t rx)
{
    // Answers name the node by the low 16 bits of its id.
    if (id != (m_id & Rtls::kJsonIdMask))
        return;
    m_txField.follow(int(tx));
    m_rxField.follow(int(rx));
    m_tx->setEnabled(true);
    m_rx->setEnabled(true);
    m_antennaState->setText(tr("As the node reported them."));
    flagDelays();
}

void SettingsDialog::serviceData(QJsonObject obj)
{
    const QString response = obj.value(QLatin1String("response")).toString();
    if (response != QLatin1String("getParent") && response != QLatin1String("setParent"))
        return;
    if ((Rtls::parseHex64(obj.value(QLatin1String("id")).toString()) & Rtls::kJsonIdMask)
        != (m_id & Rtls::kJsonIdMask))
        return;
    const QString parent = obj.value(QLatin1String("parent")).toString();
    m_currentParent->setText(parent.isEmpty() ? NodeDetailText::unknown() : parent);
}

bool SettingsDialog::confirm(const QString &title, const QString &text)
{
    return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

bool SettingsDialog::apply()
{
    SentrovaInterface *h = hub();
    RtlsObject *node = h->node(m_id);
    if (!node)
        return false;
    QStringList unreadable;

    if (m_nameField.changed()) {
        // The name lives in the manager (and its settings file) only.
        const QString name = m_nameField.read().toString();
        node->setName(name);
        m_nameField.baseline = name;
        h->announceNodeUpdated(node);
    }
    if (m_modeField.changed()) {
        const QString mode = m_modeField.read().toString();
        if (confirm(tr("Change mode"), tr("Set the mode of %1 to \"%2\"?").arg(node->idString(), mode))) {
            h->setMode(m_id, mode);
            m_modeField.baseline = mode;
        } else {
            m_modeField.write(m_modeField.baseline);
        }
    }
    if (m_rolesField.changed()) {
        const QVariant roles = m_rolesField.read();
        if (roles.isValid()) {
            h->setRoles(m_id, roles.toUInt());
            m_rolesField.baseline = roles;
        } else {
            unreadable.append(tr("other role bits"));
        }
    }
    if (m_seatField.changed() && m_seat->isEnabled() && m_seat->value() >= 0) {
        h->setSeat(m_id, uint32_t(m_seat->value()));
        m_seatField.baseline = m_seat->value();
    }
    if (m_groupField.changed() && m_group->value() >= 0) {
        h->setGroup(m_id, m_group->value());
        m_groupField.baseline = m_group->value();
    }

    if (pageEnabled(m_positionPage)) {
        uint32_t mask = 0;
        // The record is made only for a coordinate written into it.
        RtlsPos *pos = node->hasPos() ? node->pos() : nullptr;
        for (int axis = 0; axis < 3; ++axis) {
            Field &field = m_axisField[size_t(axis)];
            if (!field.changed())
                continue;
            const QVariant value = field.read();
            if (!value.isValid()) {
                unreadable.append(tr("position %1").arg(QLatin1Char("XYZ"[axis])));
                continue;
            }
            if (value.toString() == kAuto) {
                // An unknown coordinate goes out as "auto".
                if (pos)
                    pos->setFlags(pos->flags() & ~Rtls::kPosAxis[axis]);
            } else {
                if (!pos)
                    pos = node->pos();
                const float v = float(value.toDouble());
                if (axis == 0)
                    pos->setX(v);
                else if (axis == 1)
                    pos->setY(v);
                else
                    pos->setZ(v);
            }
            field.baseline = value;
            mask |= Rtls::kPosAxis[axis];
        }
        if (mask) {
            h->setAnchorPosition(m_id, mask);
            h->announceNodeUpdated(node);
        }
    }

    QString delaysRefused;
    if (m_tx->isEnabled() && (m_txField.changed() || m_rxField.changed())) {
        if (delaysWritable()) {
            h->setAntennaDelays(m_id, uint16_t(m_tx->value()), uint16_t(m_rx->value()));
            m_txField.baseline = m_tx->value();
            m_rxField.baseline = m_rx->value();
        } else {
            delaysRefused = delayWindowText();
        }
    }
    if (pageEnabled(m_sensorsPage) && m_sensors->currentIndex() > 0) {
        h->setSensorOutput(m_id, m_sensors->currentData().toString());
        m_sensors->setCurrentIndex(0);
    }
    if (pageEnabled(m_userTextPage) && !m_userText->text().isEmpty()) {
        h->sendUserText(m_id, m_userType->currentData().toInt(), m_userText->text());
        m_userText->clear();
    }
    if (pageEnabled(m_parentPage) && m_parent->currentIndex() > 0) {
        h->setParentAnchor(m_id, m_parent->currentData().toString());
        m_parent->setCurrentIndex(0);
    }
    if (m_channel->currentIndex() > 0) {
        h->setUwbChannel(m_channel->currentData().toInt());
        m_channel->setCurrentIndex(0);
    }

    readValues();
    if (unreadable.isEmpty() && delaysRefused.isEmpty())
        return true;
    QStringList why;
    if (!unreadable.isEmpty())
        why.append(tr("These values cannot be read and were not sent: %1.").arg(unreadable.join(QStringLiteral(", "))));
    if (!delaysRefused.isEmpty())
        why.append(delaysRefused);
    QMessageBox::warning(this, tr("Not sent"), why.join(QLatin1Char('\n')));
    return false;
}

bool SettingsDialog::delaysWritable() const
{
    return Calib::isPlausibleDelay(m_tx->value()) && Calib::isPlausibleDelay(m_rx->value());
}

QString SettingsDialog::delayWindowText() const
{
    return tr("Antenna delays are written only from %1: TX %2, RX %3 were not sent.")
        .arg(DelayBox::window())
        .arg(m_tx->value())
        .arg(m_rx->value());
}

void SettingsDialog::flagDelays()
{
    for (QSpinBox *box : {m_tx, m_rx})
        DelayBox::flag(box, box->isEnabled());
    if (!m_tx->isEnabled())
        return;
    m_antennaState->setText(delaysWritable() ? tr("As the node reported them.")
                                             : tr("Outside %1: these delays are not written.").arg(DelayBox::window()));
}

void SettingsDialog::accept()
{
    if (apply())
        QDialog::accept();
}

void SettingsDialog::resetNode()
{
    RtlsObject *node = hub()->node(m_id);
    const QString name = node ? node->name() : Rtls::hexId(m_id);
    if (confirm(tr("Reset node"), tr("Reset %1? Every master connection is closed and opened again.").arg(name)))
        hub()->resetNode(m_id);
}

void SettingsDialog::forceFirmwareUpdate()
{
    RtlsObject *node = hub()->node(m_id);
    const QString name = node ? node->name() : Rtls::hexId(m_id);
    if (confirm(tr("Update firmware"), tr("Make %1 check for new firmware and install it?").arg(name)))
        hub()->forceFwUpdate(m_id);
}
