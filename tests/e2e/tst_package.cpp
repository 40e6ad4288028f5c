// The Debian package as `make package` builds it: built with CPack from this
// build, its dependencies declared, unpacked into a temporary root, and the
// programs run from there.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &args, int timeoutMs = 60000,
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.start(program, args);
    Run r;
    if (!proc.waitForFinished(timeoutMs)) {
        proc.kill();
        proc.waitForFinished(5000);
        r.err = QStringLiteral("timed out: ") + program;
        return r;
    }
    r.exitCode = proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1;
    r.out = QString::fromLocal8Bit(proc.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(proc.readAllStandardError());
    return r;
}

} // namespace

class tst_Package : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buildsInstallsAndRuns();

private:
    QString m_cpack;
    QString m_dpkgDeb;
};

void tst_Package::initTestCase()
{
    m_cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
    m_dpkgDeb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
    if (m_cpack.isEmpty() || m_dpkgDeb.isEmpty())
        QSKIP("cpack and dpkg-deb are needed to build and unpack the package");
    QVERIFY(QFile::exists(QStringLiteral(SENTROVA_BIN_DIR "/CPackConfig.cmake")));
}

void tst_Package::buildsInstallsAndRuns()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString out = tmp.filePath(QStringLiteral("out"));
    const Run packed = run(m_cpack, {"-G", "DEB", "-B", out, "--config", QStringLiteral(SENTROVA_BIN_DIR "/CPackConfig.cmake")},
                           300000);
    QVERIFY2(packed.exitCode == 0, qPrintable(packed.out + packed.err));
    const QStringList debs = QDir(out).entryList({QStringLiteral("sentrova-manager_*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    const QString deb = QDir(out).filePath(debs.first());

    // What dpkg and apt will read: the name, and every library the
    // programs need.
    const Run fields = run(m_dpkgDeb, {"-f", deb, "Package", "Depends", "Suggests"});
    QCOMPARE(fields.exitCode, 0);
    QVERIFY2(fields.out.contains(QStringLiteral("Package: sentrova-manager\n")), qPrintable(fields.out));
    for (const char *library : {"libqt5widgets5", "libqt5network5", "libqglviewer2-qt5", "libmosquitto1", "libldns3",
                                "libglu1"})
        QVERIFY2(fields.out.contains(QLatin1String(library)), qPrintable(QLatin1String(library) + fields.out));
    QVERIFY(fields.out.contains(QStringLiteral("Suggests: mosquitto")));

    const QString root = tmp.filePath(QStringLiteral("root"));
    QCOMPARE(run(m_dpkgDeb, {"-x", deb, root}).exitCode, 0);

    // The programs run from the unpacked root, without a display.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const Run version = run(root + QStringLiteral("/usr/bin/sentrova-manager"), {"--version"}, 60000, env);
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QStringLiteral("sentrova-manager 17081400\n"));
    const Run simHelp = run(root + QStringLiteral("/usr/bin/sentrova-sim"), {"--help"}, 60000, env);
    QCOMPARE(simHelp.exitCode, 0);
    QVERIFY(simHelp.out.contains(QStringLiteral("--stream-to")));

    // The desktop finds it: an entry that starts it by name and a themed icon.
    QFile desktop(root + QStringLiteral("/usr/share/applications/sentrova-manager.desktop"));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    QVERIFY(entry.contains(QStringLiteral("\nExec=sentrova-manager\n")));
    QVERIFY(entry.contains(QStringLiteral("\nIcon=sentrova-manager\n")));
    const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validate.isEmpty()) {
        const Run valid = run(validate, {desktop.fileName()});
        QVERIFY2(valid.exitCode == 0 && valid.out.trimmed().isEmpty(), qPrintable(valid.out + valid.err));
    }
    const QImage icon(root + QStringLiteral("/usr/share/icons/hicolor/256x256/apps/sentrova-manager.png"));
    QCOMPARE(icon.size(), QSize(256, 256));
    QVERIFY(QFile::exists(root + QStringLiteral("/usr/share/icons/hicolor/scalable/apps/sentrova-manager.svg")));
    QVERIFY(QFile::exists(root + QStringLiteral("/usr/share/doc/sentrova-manager/README.md")));

    // The service: its unit, its system user, its commented settings.
    QFile unit(root + QStringLiteral("/usr/lib/systemd/system/sentrova-manager-headless.service"));
    QVERIFY(unit.open(QIODevice::ReadOnly));
    const QString service = QString::fromUtf8(unit.readAll());
    for (const char *line : {"ExecStart=/usr/bin/sentrova-manager --headless --settings /etc/sentrova/sentrova.json\n",
                             "User=sentrova\n", "Restart=on-failure\n", "ExecReload=/bin/kill -HUP $MAINPID\n",
                             "UnsetEnvironment=DISPLAY ", "WantedBy=multi-user.target\n"})
        QVERIFY2(service.contains(QLatin1String(line)), line);
    QVERIFY(!service.contains(QStringLiteral("xvfb")));
    QFile users(root + QStringLiteral("/usr/lib/sysusers.d/sentrova-manager.conf"));
    QVERIFY(users.open(QIODevice::ReadOnly));
    QVERIFY(users.readAll().contains("\nu sentrova - "));
    QFile example(root + QStringLiteral("/etc/sentrova/sentrova.json"));
    QVERIFY(example.open(QIODevice::ReadOnly));
    QJsonParseError error;
    const QJsonObject settings = QJsonDocument::fromJson(example.readAll(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(settings.value("_comment").isArray());
    QCOMPARE(settings.value("master").toObject().value("ip").toString(), QStringLiteral("auto"));
    QVERIFY(settings.value("mqtt").toObject().value("enabled").toBool());
    QVERIFY(settings.value("zone").isArray());
    QVERIFY(settings.value("_zone_example").toObject().contains("cmdlist"));

    // The example is a conffile; the scripts make the user and enable nothing.
    const Run conffiles = run(m_dpkgDeb, {"-I", deb, "conffiles"});
    QCOMPARE(conffiles.out.trimmed(), QStringLiteral("/etc/sentrova/sentrova.json"));
    const Run postinst = run(m_dpkgDeb, {"-I", deb, "postinst"});
    QVERIFY2(postinst.out.contains(QStringLiteral("systemd-sysusers sentrova-manager.conf")), qPrintable(postinst.out));
    QVERIFY(postinst.out.contains(QStringLiteral("adduser --system")));
    for (const char *never : {"systemctl enable", "deb-systemd-helper enable", "systemctl start", "invoke-rc.d"})
        QVERIFY2(!postinst.out.contains(QLatin1String(never)), never);
    QVERIFY(fields.out.contains(QStringLiteral("systemd | adduser")));
}

QTEST_GUILESS_MAIN(tst_Package)
#include "tst_package.moc"
