// Replays a fuzz target's input files without libFuzzer, so that the seed
// corpus and past crash inputs run in the normal test suite with any compiler.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTextStream>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int replayFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray data = f.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.constData()),
                           static_cast<size_t>(data.size()));
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int failures = 0;
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(arg).isDir()) {
            QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                failures += replayFile(it.next());
                ++count;
            }
        } else {
            failures += replayFile(arg);
            ++count;
        }
    }
    // Empty and tiny inputs are always worth a pass.
    LLVMFuzzerTestOneInput(nullptr, 0);
    const uint8_t one = 0xff;
    LLVMFuzzerTestOneInput(&one, 1);
    std::printf("replayed %d inputs\n", count);
    return failures ? 1 : 0;
}
