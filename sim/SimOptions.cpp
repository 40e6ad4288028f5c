#include "SimOptions.h"

#include "SimConstants.h"

#include <QCommandLineParser>
#include <cmath>

namespace {

// Every integer up to 2^53 is exact as a double and fits a qint64.
constexpr double kIntegerLimit = 9007199254740992.0;

bool parsePort(const QString &text, quint16 *out)
{
    bool ok = false;
    const uint v = text.toUInt(&ok);
    if (!ok || v > 65535)
        return false;
    *out = quint16(v);
    return true;
}

bool parseHostPort(const QString &text, quint16 defaultPort, QPair<QHostAddress, quint16> *out)
{
    QString host = text;
    quint16 port = defaultPort;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && text.count(QLatin1Char(':')) == 1) {
        host = text.left(colon);
        if (!parsePort(text.mid(colon + 1), &port) || port == 0)
            return false;
    }
    if (host == QLatin1String("localhost"))
        host = QStringLiteral("127.0.0.1");
    QHostAddress a;
    if (!a.setAddress(host))
        return false;
    *out = qMakePair(a, port);
    return true;
}

} // namespace

bool SimOptions::parse(const QStringList &args, SimOptions *out, QString *error)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Simulated Sentrova site: masters, anchors and tags on the LAN protocol."));
    p.addHelpOption();
    const QCommandLineOption site(QStringLiteral("site"), QStringLiteral("Site description (JSON)."), QStringLiteral("FILE"));
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Address to bind every socket to."), QStringLiteral("ADDR"));
    const QCommandLineOption svc(QStringLiteral("svc-port"), QStringLiteral("Service channel port (8784); 0 picks a free one."), QStringLiteral("N"));
    const QCommandLineOption stream(QStringLiteral("stream-port"), QStringLiteral("Location stream port at each service client (8786)."), QStringLiteral("N"));
    const QCommandLineOption streamTo(QStringLiteral("stream-to"), QStringLiteral("Also stream to HOST[:PORT]; repeatable."), QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption announce(QStringLiteral("announce-port"), QStringLiteral("Announcement port (8783)."), QStringLiteral("N"));
    const QCommandLineOption mdnsPort(QStringLiteral("mdns-port"), QStringLiteral("Multicast DNS port (5353)."), QStringLiteral("N"));
    const QCommandLineOption noMdns(QStringLiteral("no-mdns"), QStringLiteral("Do not answer multicast DNS."));
    const QCommandLineOption noBcast(QStringLiteral("no-broadcast"), QStringLiteral("Neither answer broadcasts nor announce."));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("Stream format: json or tlv."), QStringLiteral("json|tlv"));
    const QCommandLineOption tags(QStringLiteral("tags"), QStringLiteral("Load mode: number of generated tags."), QStringLiteral("N"));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("Load mode: reports per second of each tag."), QStringLiteral("HZ"));
    const QCommandLineOption duration(QStringLiteral("duration"), QStringLiteral("Stop after this many seconds."), QStringLiteral("SECONDS"));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Stop after this many reports."), QStringLiteral("N"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Random seed (1)."), QStringLiteral("N"));
    const QCommandLineOption noise(QStringLiteral("noise"), QStringLiteral("Range noise standard deviation (0.05)."), QStringLiteral("METRES"));
    const QCommandLineOption outliers(QStringLiteral("outliers"),
                                      QStringLiteral("Share of ranges with a non-line-of-sight excess (0.01)."),
                                      QStringLiteral("P"));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("Log only warnings."));
    const QCommandLineOption stats(QStringLiteral("stats"), QStringLiteral("Print the SENT line every second."));
    const QCommandLineOption printDelays(QStringLiteral("print-delays"),
                                         QStringLiteral("Print each node's real antenna delays at start."));
    p.addOptions({site, bind, svc, stream, streamTo, announce, mdnsPort, noMdns, noBcast, format, tags, rate, duration,
                  count, seed, noise, outliers, quiet, stats, printDelays});
    if (!p.parse(args)) {
        *error = p.errorText();
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        *error = p.helpText();
        return false;
    }
    if (!p.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(p.positionalArguments().first());
        return false;
    }
    SimOptions o;
    o.siteFile = p.value(site);
    if (p.isSet(bind) && !o.bind.setAddress(p.value(bind) == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : p.value(bind))) {
        *error = QStringLiteral("--bind: not an address: %1").arg(p.value(bind));
        return false;
    }
    struct PortOpt {
        const QCommandLineOption *opt;
        quint16 *target;
        bool zeroAllowed;
    };
    const PortOpt ports[] = {{&svc, &o.svcPort, true}, {&stream, &o.streamPort, false},
                             {&announce, &o.announcePort, false}, {&mdnsPort, &o.mdnsPort, false}};
    for (const PortOpt &po : ports) {
        if (!p.isSet(*po.opt))
            continue;
        if (!parsePort(p.value(*po.opt), po.target) || (*po.target == 0 && !po.zeroAllowed)) {
            *error = QStringLiteral("--%1: not a port: %2").arg(po.opt->names().first(), p.value(*po.opt));
            return false;
        }
    }
    for (const QString &t : p.values(streamTo)) {
        QPair<QHostAddress, quint16> d;
        if (!parseHostPort(t, SimConst::kStreamPort, &d)) {
            *error = QStringLiteral("--stream-to: not HOST[:PORT]: %1").arg(t);
            return false;
        }
        o.streamTo.append(d);
    }
    o.mdns = !p.isSet(noMdns);
    o.broadcast = !p.isSet(noBcast);
    o.format = p.value(format);
    if (!o.format.isEmpty() && o.format != QLatin1String("json") && o.format != QLatin1String("tlv")) {
        *error = QStringLiteral("--format must be json or tlv");
        return false;
    }
    bool ok = true;
    auto number = [&](const QCommandLineOption &opt, double min, double fallback) {
        if (!p.isSet(opt))
            return fallback;
        bool good = false;
        const double v = p.value(opt).toDouble(&good);
        if (!good || !std::isfinite(v) || v < min) {
            *error = QStringLiteral("--%1: invalid value %2").arg(opt.names().first(), p.value(opt));
            ok = false;
        }
        return v;
    };
    // Converting a double beyond the target's range is undefined, so the
    // integer options are bounded while still doubles.
    const double tagCount = number(tags, 0, 0);
    if (ok && tagCount > SimConst::kMaxLoadTags) {
        *error = QStringLiteral("--tags: at most %1").arg(SimConst::kMaxLoadTags);
        return false;
    }
    o.tags = int(tagCount);
    o.rate = number(rate, 0, 0);
    o.duration = number(duration, 0, 0);
    const double reportCount = number(count, 0, 0);
    const double seedValue = number(seed, 0, 1);
    if (ok && (reportCount >= kIntegerLimit || seedValue >= kIntegerLimit)) {
        *error = QStringLiteral("--count and --seed: below %1").arg(kIntegerLimit, 0, 'g', 16);
        return false;
    }
    o.count = qint64(reportCount);
    o.seed = quint64(seedValue);
    o.noise = number(noise, 0, SimConst::kDefaultNoise);
    o.outliers = number(outliers, 0, SimConst::kOutlierProbability);
    if (!ok)
        return false;
    if (o.outliers > 1.0) {
        *error = QStringLiteral("--outliers: a share from 0 to 1");
        return false;
    }
    if (o.tags > 0 && o.rate <= 0) {
        *error = QStringLiteral("--tags needs --rate");
        return false;
    }
    o.quiet = p.isSet(quiet);
    o.stats = p.isSet(stats);
    o.printDelays = p.isSet(printDelays);
    *out = o;
    return true;
}
