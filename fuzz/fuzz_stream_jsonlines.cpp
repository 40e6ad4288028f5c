// Cuts arbitrary bytes into datagrams of varying sizes and feeds them to the
// JSON line splitter with a small limit. Checks that what comes out is what
// went in, line by line, and that the pending text stays bounded.
#include "JsonLineSplitter.h"

#include <QJsonDocument>
#include <QList>

#include <cstdlib>

namespace {
constexpr int kLimit = 64;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    const int step = data[0] % 23 + 1;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, static_cast<int>(size) - 1);

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
        return 0;

    QList<QByteArray> expected = input.split('\n');
    const QByteArray tail = expected.takeLast();
    expected.removeAll(QByteArray());
    if (lines != expected || splitter.pendingSize() != tail.size())
        std::abort();
    return 0;
}
