#include "MasterAddress.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr int kMaxNameLength = 253;
constexpr int kMaxLabelLength = 63;

QString tr(const char *text)
{
    return QCoreApplication::translate("MasterAddress", text);
}

// Letters, digits and inner hyphens, as host names are written (RFC 1123).
bool isNameLabel(const QString &label)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?$"));
    return label.size() <= kMaxLabelLength && pattern.match(label).hasMatch();
}

MasterAddress invalid(MasterAddress address, const QString &problem)
{
    address.kind = MasterAddress::Kind::Invalid;
    address.problem = problem;
    return address;
}

} // namespace

MasterAddress MasterAddress::parse(const QString &typed)
{
    MasterAddress address;
    address.text = typed.trimmed();
    if (address.text.isEmpty()) {
        address.problem = tr("Enter the master's IPv4 address or host name");
        return address;
    }
    if (address.text.contains(QLatin1Char(':')))
        return invalid(address, tr("Only an IPv4 address or a host name, without a port: masters are reached on "
                                   "their service port"));

    // Numbers and dots only: it must be a whole IPv4 address, never a name
    // (a name's last label is never all digits).
    static const QRegularExpression numeric(QStringLiteral("^[0-9.]+$"));
    if (numeric.match(address.text).hasMatch()) {
        const QStringList parts = address.text.split(QLatin1Char('.'));
        quint32 value = 0;
        bool ok = parts.size() == 4;
        for (int i = 0; ok && i < parts.size(); ++i) {
            const QString &part = parts.at(i);
            const uint byte = part.toUInt(&ok);
            ok = ok && !part.isEmpty() && part.size() <= 3 && byte <= 255;
            value = (value << 8) | byte;
        }
        if (!ok)
            return invalid(address, tr("Not an IPv4 address: four numbers from 0 to 255, with dots between"));
        if (value == 0 || value == 0xFFFFFFFFu)
            return invalid(address, tr("%1 is no master's address").arg(address.text));
        if ((value >> 28) == 0xE)
            return invalid(address, tr("%1 is a multicast address, not a master's").arg(address.text));
        address.kind = Kind::Ipv4;
        address.ipv4 = value;
        return address;
    }

    QString name = address.text;
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    const QStringList labels = name.split(QLatin1Char('.'));
    bool ok = !name.isEmpty() && name.size() <= kMaxNameLength;
    for (const QString &label : labels)
        ok = ok && isNameLabel(label);
    if (!ok)
        return invalid(address, tr("Not a host name: letters, digits and hyphens, in parts joined by dots"));
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (digits.match(labels.last()).hasMatch())
        return invalid(address, tr("Not a host name: its last part is a number"));
    address.kind = Kind::HostName;
    address.text = name;
    return address;
}
