// The multicast DNS engine's message input as the discovery worker drives
// it: the wire check, the engine's parser and cache, and the following of
// master instances, on arbitrary bytes received twice (the second time with
// the first answer already cached), then draining what it wants to send.
#include "MdnsBrowser.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), static_cast<int>(size));
    MdnsBrowser browser("_svc_sentrova._tcp.local.");
    browser.restartQuery();
    for (int round = 0; round < 2; ++round) {
        browser.receive(datagram, 0xC0000202, 5353);
        QByteArray out;
        quint32 ip = 0;
        quint16 port = 0;
        for (int i = 0; i < 16 && browser.nextMessage(&out, &ip, &port); ++i) {
        }
        browser.takeFound();
    }
    browser.sleepMs();
    return 0;
}
