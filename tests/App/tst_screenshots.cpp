// `make screenshots` in small: the real simulator and sentrova-screenshots
// (the manager's whole window) as processes, in the private network
// namespace, since the master is reached on the protocol's fixed ports.
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString binary(const char *path)
{
    return QStringLiteral(SENTROVA_BIN_DIR "/") + QLatin1String(path);
}

} // namespace

class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void everyTabPictured();
};

void TestScreenshots::everyTabPictured()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());

    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(binary("sim/sentrova-sim"), {"--bind", "127.0.0.1", "--no-mdns", "--no-broadcast", "--quiet"});
    QVERIFY(sim.waitForStarted(10000));
    QByteArray simOutput;
    QTRY_VERIFY_WITH_TIMEOUT((simOutput += sim.readAll()).contains("READY\n"), 20000);

    QProcess shots;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), work.path());
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    shots.setProcessEnvironment(env);
    shots.setWorkingDirectory(work.path());
    shots.setProcessChannelMode(QProcess::MergedChannels);
    const QString out = work.filePath(QStringLiteral("images"));
    const QString report = work.filePath(QStringLiteral("report.pdf"));
    // On a screen of its own, of a laptop's size: the window fills it at
    // its first start, and the pictures are the screen's size.
    shots.start(QStringLiteral("xvfb-run"),
                {"-a", "-s", "-screen 0 1280x800x24", binary("src/App/sentrova-screenshots"), "--master",
                 "127.0.0.1", "--out", out, "--warm-up", "2", "--report", report});
    QVERIFY(shots.waitForFinished(120000));
    const QString log = QString::fromLocal8Bit(shots.readAll());
    sim.terminate();
    sim.waitForFinished(10000);
    QVERIFY2(shots.exitStatus() == QProcess::NormalExit && shots.exitCode() == 0, qPrintable(log));

    const QStringList expected{"anchor-calibration.png", "initial-setup.png", "map.png",        "settings.png",
                               "site-acceptance.png",    "tag-calibration.png", "zones.png"};
    QCOMPARE(QDir(out).entryList({"*.png"}, QDir::Files, QDir::Name), expected);
    // The site acceptance tab's report, of its survey of the hall.
    QVERIFY(QFileInfo(report).size() > 10000);
    // The window fills the screen, whatever the tab and the selected tag's
    // details (a plot in the details once forced it wider, the docks' least
    // heights once made it higher than a laptop's screen).
    for (const QString &name : expected) {
        const QImage image(QDir(out).filePath(name));
        QVERIFY2(!image.isNull(), qPrintable(name));
        QCOMPARE(image.size(), QSize(1280, 800));
    }

    // The map picture shows the map itself (the tool saves nothing before
    // the site's anchors and placed tags are known).
    const QImage map = QImage(QDir(out).filePath(QStringLiteral("map.png"))).convertToFormat(QImage::Format_RGB32);
    const QRgb background = QColor(161, 187, 206).rgb();
    int backgroundPixels = 0;
    for (int y = 0; y < map.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(map.constScanLine(y));
        for (int x = 0; x < map.width(); ++x) {
            backgroundPixels += (line[x] & 0xFFFFFF) == (background & 0xFFFFFF);
        }
    }
    QVERIFY2(backgroundPixels > map.width() * map.height() / 5, qPrintable(QString::number(backgroundPixels)));
}

QTEST_GUILESS_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
