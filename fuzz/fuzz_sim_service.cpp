// Feeds arbitrary bytes to the simulator's service side: with an even first
// byte as command lines to the command handler (site state carries over
// between inputs, as on a long-lived connection), with an odd one as a
// firmware upload (opening line, then framed blocks).
#include "CommandHandler.h"
#include "FirmwareTable.h"
#include "FirmwareUpload.h"
#include "SiteEngine.h"

#include <QJsonDocument>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SiteEngine engine(SimSite::defaultSite(), 0.05, 1, 1700000000000);
    static FirmwareTable firmware;
    static CommandHandler handler(engine, firmware);
    if (size < 1 || size > 65536)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<int>(size - 1));
    if (data[0] % 2 == 0) {
        for (const QByteArray &line : bytes.split('\n')) {
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            if (doc.isObject())
                handler.handle(doc.object(), 1700000000000);
        }
        return 0;
    }
    const int eol = bytes.indexOf('\n');
    QJsonObject answer;
    FirmwareUpload upload(QJsonDocument::fromJson(bytes.left(eol)).object(), &answer);
    if (upload.state() != FirmwareUpload::State::Receiving || eol < 0)
        return 0;
    QByteArray rest = bytes.mid(eol + 1);
    upload.feed(&rest);
    if (upload.state() == FirmwareUpload::State::Done)
        firmware.install(upload.descriptor());
    return 0;
}
