#include "RemoteConnectDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit *edit(const QString &text, const QString &name)
{
    auto *e = new QLineEdit(text);
    e->setObjectName(name);
    e->setMinimumWidth(260);
    return e;
}

} // namespace

RemoteConnectDialog::RemoteConnectDialog(const MqttConfig &initial, QWidget *parent)
    : QDialog(parent), m_initial(initial)
{
    setWindowTitle(tr("Connect to broker"));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(tr("Show the site that its manager publishes on this MQTT broker. This window then "
                                "neither searches for masters nor talks to them, and publishes nothing."));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto *form = new QFormLayout;
    m_host = edit(initial.host, QStringLiteral("host"));
    m_port = new QSpinBox;
    m_port->setObjectName(QStringLiteral("port"));
    m_port->setRange(1, 65535);
    m_port->setValue(initial.port);
    m_username = edit(initial.username, QStringLiteral("username"));
    m_password = edit(initial.password, QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_tls = new QCheckBox;
    m_tls->setObjectName(QStringLiteral("tls"));
    m_tls->setChecked(initial.tls);
    m_caFile = edit(initial.caFile, QStringLiteral("caFile"));
    m_caFile->setPlaceholderText(tr("the system's certificates"));
    m_prefix = edit(initial.topicPrefix, QStringLiteral("topicPrefix"));
    form->addRow(tr("Broker host:"), m_host);
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("User name:"), m_username);
    form->addRow(tr("Password:"), m_password);
    form->addRow(tr("TLS:"), m_tls);
    form->addRow(tr("CA file:"), m_caFile);
    form->addRow(tr("Topic prefix:"), m_prefix);
    layout->addLayout(form);

    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(m_problem);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_buttons->button(QDialogButtonBox::Ok)->setText(tr("Connect"));
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_host, &QLineEdit::textChanged, this, &RemoteConnectDialog::check);
    connect(m_prefix, &QLineEdit::textChanged, this, &RemoteConnectDialog::check);
    check();
}

void RemoteConnectDialog::check()
{
    QString prefix;
    QString problem;
    if (m_host->text().trimmed().isEmpty())
        problem = tr("The broker host is missing.");
    else if (!MqttConfig::normalisePrefix(m_prefix->text(), &prefix))
        problem = tr("The topic prefix cannot start a topic (empty, or with + or #).");
    m_problem->setText(problem);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(problem.isEmpty());
}

MqttConfig RemoteConnectDialog::config() const
{
    MqttConfig c = m_initial;
    c.host = m_host->text().trimmed();
    c.port = quint16(m_port->value());
    c.username = m_username->text();
    c.password = m_password->text();
    c.tls = m_tls->isChecked();
    c.caFile = m_caFile->text().trimmed();
    QString prefix;
    if (MqttConfig::normalisePrefix(m_prefix->text(), &prefix))
        c.topicPrefix = prefix;
    return c;
}
