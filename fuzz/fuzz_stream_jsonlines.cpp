// Two checks on arbitrary bytes. First, the JSON line splitter: the bytes are
// cut into chunks of varying sizes and fed with a small limit; what comes out
// must be what went in, line by line, and the pending text stays bounded.
// Second, the receiver's rule that a datagram is the unit: the bytes are cut
// into datagrams at every 0xFF byte and handed to the location stream, then a
// JSON report and a TLV report follow, each in a datagram of its own. Whatever
// came before (junk, cut lines, TLV), both must be taken.
#include "JsonLineSplitter.h"
#include "RtlsHubLink.h"
#include "RtlsLs.h"
#include "RtlsObject.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonDocument>
#include <QList>
#include <QSet>

#include <cstdlib>

namespace {

constexpr int kLimit = 64;
constexpr uint64_t kJsonSentinel = 0x7777;
constexpr uint64_t kTlvSentinel = 0x7778;

// Just enough of a hub: a registry that is emptied after every input.
class FuzzLink : public RtlsHubLink
{
public:
    void postMessage(const QString &) override {}
    RtlsObject *findNode(uint64_t id) const override { return nodes.value(id); }
    bool hasNonAnchor(uint64_t id) const override { return nodes.contains(id); }
    void insertNonAnchor(RtlsObject *node) override
    {
        node->setParent(&owner);
        nodes.insert(node->id(), node);
    }
    void announceNodeAdded(RtlsObject *node) override { announced.insert(node->id()); }
    void announceNodeUpdated(RtlsObject *node) override { announced.insert(node->id()); }
    void announceLocationData(const QJsonObject &) override {}
    void requestDetails(uint64_t) override {}

    void reset()
    {
        qDeleteAll(owner.children());
        nodes.clear();
        announced.clear();
    }

    QObject owner;
    QHash<uint64_t, RtlsObject *> nodes;
    QSet<uint64_t> announced;
};

void checkSplitter(const QByteArray &input, int step)
{
    JsonLineSplitter splitter(kLimit);
    QList<QByteArray> lines;
    bool dropped = false;
    for (int pos = 0; pos < input.size(); pos += step) {
        const QByteArray chunk = input.mid(pos, step);
        dropped |= splitter.feed(chunk, [&](const QByteArray &line) {
            if (line.isEmpty() || line.contains('\n'))
                std::abort();
            QJsonDocument::fromJson(line);
            lines.append(QByteArray(line.constData(), line.size()));
        });
        if (splitter.pendingSize() > kLimit)
            std::abort();
    }
    if (dropped)
        return;

    QList<QByteArray> expected = input.split('\n');
    const QByteArray tail = expected.takeLast();
    expected.removeAll(QByteArray());
    if (lines != expected || splitter.pendingSize() != tail.size())
        std::abort();
}

void checkDatagramRule(const QByteArray &input)
{
    static FuzzLink link;
    static RtlsLs *stream = [] {
        RtlsLs::Ports ports;
        ports.lsExternalEngine = 0;
        ports.lsInternalEngine = 0;
        ports.dc = 0;
        auto *ls = new RtlsLs(nullptr, true, &link, ports);
        // Enough failures to start the console limit's summary timer now:
        // started during an input, its registration with the event
        // dispatcher would look like a leak of that input.
        ls->setFailureClock([] { return qint64(0); });
        for (int i = 0; i < 5; ++i)
            ls->receiveDatagram("{\n[]\n");
        ls->receiveDatagram("{x");
        ls->receiveDatagram("{x");
        ls->receiveDatagram("{x");
        ls->receiveDatagram("{x");
        ls->receiveDatagram("{x");
        ls->receiveDatagram("{\n");
        return ls;
    }();

    for (const QByteArray &datagram : input.split('\xff'))
        stream->receiveDatagram(datagram);
    stream->receiveDatagram("{\"id\":\"0x7777\"}\n");
    static const QByteArray tlv("\x01\x08\x78\x77\x00\x00\x00\x00\x00\x00", 10);
    stream->receiveDatagram(tlv);
    if (!link.announced.contains(kJsonSentinel) || !link.announced.contains(kTlvSentinel))
        std::abort();
    link.reset();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_stream_jsonlines";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(app);

    if (size < 1 || size > 65536)
        return 0;
    const int step = data[0] % 23 + 1;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, static_cast<int>(size) - 1);
    checkSplitter(input, step);
    checkDatagramRule(input);
    return 0;
}
