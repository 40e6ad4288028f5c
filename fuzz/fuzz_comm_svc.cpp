// Feeds arbitrary bytes as lines from a master to the service message
// handler: every response, node list and configuration path runs against the
// real hub. Configurations and the records of anchors that went stale are
// dropped after each input so a long run stays bounded in memory (the
// registry itself is bounded by the 16-bit ids).
#include "RtlsObject.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_comm_svc";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(app);
    static SentrovaInterface *hub = [] {
        SentrovaInterface *h = SentrovaInterface::instance();
        h->toggleRtlsSvcDisplayMessages();
        return h;
    }();

    if (size > 65536)
        return 0;
    hub->svc()->processJsonData(QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    hub->deleteNodeConfig();
    qDeleteAll(hub->findChildren<RtlsObject *>(QString(), Qt::FindDirectChildrenOnly));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
