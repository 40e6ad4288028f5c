#include "MasterAddressDialog.h"

#include "AppLog.h"
#include "MasterAddress.h"

#include <QDialogButtonBox>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

MasterAddressDialog::MasterAddressDialog(const QString &preset, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Connect to master"));
    auto *prompt = new QLabel(tr("Address of the master (an IPv4 address or a host name):"), this);
    m_address = new QLineEdit(preset, this);
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setPlaceholderText(tr("e.g. 192.168.1.10 or master-hall-1"));
    prompt->setBuddy(m_address);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_connect = m_buttons->addButton(tr("Connect"), QDialogButtonBox::AcceptRole);
    m_connect->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(m_address);
    layout->addWidget(m_status);
    layout->addWidget(m_buttons);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &MasterAddressDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &MasterAddressDialog::reject);
    connect(m_address, &QLineEdit::textChanged, this, &MasterAddressDialog::check);
    check();
    // The width of a long name, so that the problem texts do not reflow the
    // dialog as they come and go.
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 56);
}

MasterAddressDialog::~MasterAddressDialog()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
}

void MasterAddressDialog::check()
{
    const MasterAddress address = MasterAddress::parse(m_address->text());
    m_connect->setEnabled(address.isUsable());
    m_status->setText(address.problem);
}

void MasterAddressDialog::accept()
{
    if (m_lookupId >= 0)
        return;
    const MasterAddress address = MasterAddress::parse(m_address->text());
    switch (address.kind) {
    case MasterAddress::Kind::Ipv4:
        finish(address.ipv4);
        return;
    case MasterAddress::Kind::HostName:
        // In the background: the window keeps drawing and the master's
        // stream keeps coming while the name server answers.
        m_lookupName = address.text;
        setBusy(true);
        m_status->setText(tr("Looking up %1…").arg(m_lookupName));
        m_lookupId = QHostInfo::lookupHost(m_lookupName, this, &MasterAddressDialog::lookedUp);
        return;
    case MasterAddress::Kind::Empty:
    case MasterAddress::Kind::Invalid:
        check();
        return;
    }
}

void MasterAddressDialog::reject()
{
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    QDialog::reject();
}

void MasterAddressDialog::lookedUp(const QHostInfo &info)
{
    if (info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    setBusy(false);
    if (info.error() != QHostInfo::NoError) {
        qCInfo(lcApp).noquote() << "lookup of" << m_lookupName << "failed:" << info.errorString();
        m_status->setText(tr("%1 cannot be found: %2").arg(m_lookupName, info.errorString()));
        return;
    }
    const QList<QHostAddress> addresses = info.addresses();
    for (const QHostAddress &address : addresses) {
        bool ok = false;
        const quint32 ipv4 = address.toIPv4Address(&ok);
        if (ok && ipv4 != 0) {
            finish(ipv4);
            return;
        }
    }
    m_status->setText(tr("%1 has no IPv4 address").arg(m_lookupName));
}

void MasterAddressDialog::setBusy(bool busy)
{
    m_address->setEnabled(!busy);
    m_connect->setEnabled(!busy);
}

void MasterAddressDialog::finish(quint32 address)
{
    emit addressChosen(address, m_address->text().trimmed());
    QDialog::accept();
}
