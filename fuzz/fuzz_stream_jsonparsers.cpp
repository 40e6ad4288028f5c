// Differential fuzzing of the location stream's two JSON parsers: the input
// is one JSON datagram of lines, given to a stream that reads with simdjson
// where that gives Qt's answer and to one that reads with Qt's parser alone.
// The records, console lines and announcements they leave must be the same.
#include "../tests/Model/RecordDump.h"
#include "../tests/Stream/FakeHubLink.h"
#include "RtlsLs.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Run
{
    explicit Run(bool fast)
    {
        stream.setFastJson(fast);
        stream.setFailureClock([] { return qint64(0); });
        stream.toggleDisplayMessages();
        // Enough failures of each kind to start the console limit's summary
        // timer now, and a time stamp echoed once so that Qt reads the time
        // zone now: done during an input, the timer's registration with the
        // event dispatcher and Qt's time zone cache would look like leaks.
        stream.receiveDatagram("{\n{\n{\n{\n{\n[]\n[]\n[]\n[]\n[]\n{\"timestamp\":1700000000.5}\n");
        hub.messages.clear();
    }

    QString records() const
    {
        QList<uint64_t> ids = hub.registry.keys();
        std::sort(ids.begin(), ids.end());
        QStringList out;
        for (uint64_t id : ids)
            out << RecordDump::of(hub.registry.value(id));
        return out.join(QLatin1String("\n\n"));
    }

    void reset()
    {
        qDeleteAll(hub.owner.children());
        hub.registry.clear();
        hub.nonAnchors.clear();
        hub.messages.clear();
        hub.events.clear();
        hub.locationData.clear();
        hub.detailsRequested.clear();
    }

    FakeHubLink hub;
    RtlsLs stream{nullptr, true, &hub, RtlsLs::Ports::anyFree()};
};

void differ(const char *what, const QStringList &fast, const QStringList &qt)
{
    std::fprintf(stderr, "the parsers differ in %s\n", what);
    for (int i = 0; i < qMax(fast.size(), qt.size()); ++i) {
        if (fast.value(i) == qt.value(i))
            continue;
        std::fprintf(stderr, "fast: %s\nqt:   %s\n", qPrintable(fast.value(i)), qPrintable(qt.value(i)));
        break;
    }
    std::abort();
}

QStringList lines(const QList<QJsonObject> &objects)
{
    QStringList out;
    for (const QJsonObject &o : objects)
        out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    return out;
}

QStringList lines(const QList<uint64_t> &ids)
{
    QStringList out;
    for (uint64_t id : ids)
        out << QString::number(id, 16);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_stream_jsonparsers";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(app);
    static Run fast(true);
    static Run qt(false);

    if (size > 65536)
        return 0;
    // One datagram that starts as a JSON one, so that every line of the
    // input goes the JSON way (the TLV way is the same for both, and its
    // console lines carry the time of day).
    const QByteArray datagram = "{}\n" + QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)) + '\n';
    for (Run *run : {&fast, &qt}) {
        RtlsHubLink::setCurrent(&run->hub);
        run->stream.receiveDatagram(datagram);
    }
    RtlsHubLink::setCurrent(nullptr);
    if (fast.records() != qt.records())
        differ("records", fast.records().split('\n'), qt.records().split('\n'));
    if (fast.hub.messages != qt.hub.messages)
        differ("console lines", fast.hub.messages, qt.hub.messages);
    if (fast.hub.events != qt.hub.events)
        differ("announcements", fast.hub.events, qt.hub.events);
    if (fast.hub.locationData != qt.hub.locationData)
        differ("location data", lines(fast.hub.locationData), lines(qt.hub.locationData));
    if (fast.hub.detailsRequested != qt.hub.detailsRequested)
        differ("details requests", lines(fast.hub.detailsRequested), lines(qt.hub.detailsRequested));
    fast.reset();
    qt.reset();
    return 0;
}
