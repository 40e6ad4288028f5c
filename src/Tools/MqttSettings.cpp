#include "MqttSettings.h"

#include "MqttPublisher.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

namespace {

constexpr Qt::Alignment kCell = Qt::AlignLeft | Qt::AlignVCenter;
// The counters in the status line move on their own clock, not per message.
constexpr int kStatusRefreshMs = 1000;
constexpr double kMaxRate = 1000.0;

template<typename W>
W *addRow(QGridLayout *grid, int row, const QString &label, W *widget, const QString &name)
{
    widget->setObjectName(name);
    grid->addWidget(new QLabel(label), row, 0, kCell);
    grid->addWidget(widget, row, 1, kCell);
    return widget;
}

QLineEdit *lineEdit(int minimumWidth = 220)
{
    auto *edit = new QLineEdit;
    edit->setMinimumWidth(minimumWidth);
    return edit;
}

} // namespace

MqttSettings::MqttSettings(MqttPublisher *publisher, QWidget *parent)
    : SettingsTabWidget(parent), m_publisher(publisher)
{
    QGridLayout *basic = basicGrid();
    m_enabled = addRow(basic, 0, tr("Publish to broker:"), new QCheckBox, QStringLiteral("enabled"));
    m_host = addRow(basic, 1, tr("Broker host:"), lineEdit(), QStringLiteral("host"));
    m_port = addRow(basic, 2, tr("Port:"), new QSpinBox, QStringLiteral("port"));
    m_port->setRange(1, 65535);
    m_prefix = addRow(basic, 3, tr("Topic prefix:"), lineEdit(), QStringLiteral("topicPrefix"));
    m_prefix->setToolTip(tr("Topics: <prefix>/tags/<id>/position, <prefix>/nodes/<id>/status, "
                            "<prefix>/zones/<id>/events, <prefix>/manager/status"));
    m_status = addRow(basic, 4, tr("Connection:"), new QLabel, QStringLiteral("status"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QWidget;
    auto *row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    m_apply = new QPushButton(tr("Apply"));
    m_apply->setObjectName(QStringLiteral("apply"));
    m_revert = new QPushButton(tr("Revert"));
    m_revert->setObjectName(QStringLiteral("revert"));
    row->addWidget(m_apply);
    row->addWidget(m_revert);
    basic->addWidget(buttons, 5, 1, kCell);
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_problem->setWordWrap(true);
    basic->addWidget(m_problem, 6, 0, 1, 2);

    QGridLayout *advanced = advancedGrid();
    m_clientId = addRow(advanced, 0, tr("Client id:"), lineEdit(), QStringLiteral("clientId"));
    m_clientId->setPlaceholderText(tr("made from this computer's name"));
    m_username = addRow(advanced, 1, tr("User name:"), lineEdit(), QStringLiteral("username"));
    m_password = addRow(advanced, 2, tr("Password:"), lineEdit(), QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setToolTip(tr("Kept in the settings file as plain text"));
    m_tls = addRow(advanced, 3, tr("TLS:"), new QCheckBox, QStringLiteral("tls"));
    auto *caRow = new QWidget;
    auto *caLayout = new QHBoxLayout(caRow);
    caLayout->setContentsMargins(0, 0, 0, 0);
    m_caFile = lineEdit();
    m_caFile->setObjectName(QStringLiteral("caFile"));
    m_caFile->setPlaceholderText(tr("the system's certificates"));
    auto *browse = new QPushButton(tr("Browse..."));
    caLayout->addWidget(m_caFile);
    caLayout->addWidget(browse);
    advanced->addWidget(new QLabel(tr("CA file:")), 4, 0, kCell);
    advanced->addWidget(caRow, 4, 1, kCell);
    m_rate = addRow(advanced, 5, tr("Rate limit per tag [Hz]:"), new QDoubleSpinBox, QStringLiteral("rateLimit"));
    m_rate->setRange(0.0, kMaxRate);
    m_rate->setDecimals(1);
    m_rate->setSpecialValueText(tr("every report"));
    finishGrids();

    showConfig(m_publisher->effectiveConfig(), false);
    updateStatus();

    // Publishing on or off takes effect at once, like the menu entry.
    connect(m_enabled, &QCheckBox::toggled, m_publisher, &MqttPublisher::setEnabled);
    connect(m_publisher, &MqttPublisher::enabledChanged, m_enabled, &QCheckBox::setChecked);
    connect(m_publisher, &MqttPublisher::configChanged, this,
            [this] { showConfig(m_publisher->effectiveConfig(), true); });
    connect(m_publisher, &MqttPublisher::stateChanged, this, &MqttSettings::updateStatus);
    connect(m_apply, &QPushButton::clicked, this, &MqttSettings::apply);
    connect(m_revert, &QPushButton::clicked, this, &MqttSettings::revert);
    connect(browse, &QPushButton::clicked, this, &MqttSettings::browseCaFile);
    for (QLineEdit *edit : {m_host, m_prefix, m_clientId, m_username, m_password, m_caFile})
        connect(edit, &QLineEdit::textChanged, this, &MqttSettings::updateButtons);
    connect(m_port, QOverload<int>::of(&QSpinBox::valueChanged), this, &MqttSettings::updateButtons);
    connect(m_rate, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &MqttSettings::updateButtons);
    connect(m_tls, &QCheckBox::toggled, this, &MqttSettings::updateButtons);

    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &MqttSettings::updateStatus);
    timer->start(kStatusRefreshMs);
}

QString MqttSettings::stateText(const MqttPublisher *publisher)
{
    switch (publisher->state()) {
    case MqttPublisher::State::Connected:
        return tr("connected to %1").arg(publisher->brokerText());
    case MqttPublisher::State::Connecting:
        return tr("connecting to %1").arg(publisher->brokerText());
    case MqttPublisher::State::Retrying:
        return tr("cannot reach %1, retrying").arg(publisher->brokerText());
    case MqttPublisher::State::Off:
        break;
    }
    return publisher->isEnabled() ? tr("not connected") : tr("off");
}

MqttConfig MqttSettings::edited() const
{
    MqttConfig c = m_publisher->config();
    c.enabled = m_enabled->isChecked();
    c.host = m_host->text().trimmed();
    c.port = quint16(m_port->value());
    c.topicPrefix = m_prefix->text();
    c.clientId = m_clientId->text().trimmed();
    c.username = m_username->text();
    c.password = m_password->text();
    c.tls = m_tls->isChecked();
    c.caFile = m_caFile->text().trimmed();
    c.rateLimit = m_rate->value();
    return c;
}

bool MqttSettings::apply()
{
    MqttConfig c = edited();
    if (c.host.isEmpty()) {
        m_problem->setText(tr("The broker host is empty."));
        return false;
    }
    QString prefix;
    if (!MqttConfig::normalisePrefix(c.topicPrefix, &prefix)) {
        m_problem->setText(tr("The topic prefix cannot be empty or hold the wildcards + and #."));
        return false;
    }
    c.topicPrefix = prefix;
    m_problem->clear();
    m_publisher->setConfig(c);
    // Whatever the publisher made of it (a trimmed prefix) is shown.
    showConfig(m_publisher->effectiveConfig(), false);
    return true;
}

void MqttSettings::revert()
{
    m_problem->clear();
    showConfig(m_publisher->effectiveConfig(), false);
}

void MqttSettings::showConfig(const MqttConfig &c, bool keepEdits)
{
    const MqttConfig &was = m_shown;
    auto text = [keepEdits](QLineEdit *edit, const QString &old, const QString &now) {
        if (!keepEdits || edit->text() == old)
            edit->setText(now);
    };
    text(m_host, was.host, c.host);
    text(m_prefix, was.topicPrefix, c.topicPrefix);
    text(m_clientId, was.clientId, c.clientId);
    text(m_username, was.username, c.username);
    text(m_password, was.password, c.password);
    text(m_caFile, was.caFile, c.caFile);
    if (!keepEdits || m_port->value() == was.port)
        m_port->setValue(c.port);
    if (!keepEdits || m_tls->isChecked() == was.tls)
        m_tls->setChecked(c.tls);
    if (!keepEdits || m_rate->value() == was.rateLimit)
        m_rate->setValue(c.rateLimit);
    // Publishing on or off is never an edit in progress: it applies at once.
    {
        const QSignalBlocker block(m_enabled);
        m_enabled->setChecked(c.enabled);
    }
    m_shown = c;
    updateButtons();
}

void MqttSettings::updateButtons()
{
    MqttConfig c = edited();
    QString prefix;
    if (MqttConfig::normalisePrefix(c.topicPrefix, &prefix))
        c.topicPrefix = prefix;
    const bool changed = c != m_publisher->effectiveConfig();
    m_apply->setEnabled(changed);
    m_revert->setEnabled(changed);
}

void MqttSettings::updateStatus()
{
    QString text = stateText(m_publisher);
    if (m_publisher->publishedCount() || m_publisher->droppedCount())
        text += tr(" (%1 published, %2 not)").arg(m_publisher->publishedCount()).arg(m_publisher->droppedCount());
    m_status->setText(text);
}

void MqttSettings::browseCaFile()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("CA certificate of the broker"), m_caFile->text(),
                                                      tr("Certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty())
        m_caFile->setText(file);
}
