#include "AppTestEnvironment.h"
#include "CaptureReplay.h"
#include "ConsoleLogCapture.h"
#include "ConsoleView.h"
#include "MainWindow.h"
#include "ModalDialog.h"
#include "RtlsLs.h"
#include "SaveProgress.h"
#include "SentrovaInterface.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Bigger than the part of a save that is copied before the window hears of
// it, so that a save of it is certainly still running when the test acts.
constexpr qint64 kLargeCaptureBytes = qint64(20) << 20;
constexpr int kSaveTimeoutMs = 60000;

QByteArray readAll(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<cannot read>");
}

void write(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// Reports without time stamps: a replay of them plays them all at once.
QByteArray reports(int first, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += QStringLiteral("{\"id\":\"0x%1\"}\n").arg(first + i, 4, 16, QLatin1Char('0')).toUpper().toUtf8();
    return bytes;
}

// Reports an hour apart, each padded to 64 KiB: a replay of them plays the
// first and then waits, and a save of them takes more than one step.
QByteArray largeCapture()
{
    const QByteArray pad(64 * 1024, 'p');
    QByteArray bytes;
    for (int i = 0; bytes.size() < kLargeCaptureBytes; ++i)
        bytes += "{\"id\":\"0x0D20\",\"timestamp\":" + QByteArray::number(1700000000 + i * 3600) + ",\"pad\":\"" + pad
                 + "\"}\n";
    return bytes;
}

// The files in a folder whose names start so: a save leaves no temporary
// file beside its target.
QStringList filesStartingWith(const QString &name)
{
    const QFileInfo info(name);
    return info.dir().entryList({info.fileName() + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
}

} // namespace

// What File > Save writes, and into which file, as a user meets it: captures
// recorded and files opened are each a document of their own; the window,
// its dialogs and its status bar are the real ones.
class TestCaptureDocument : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newCaptureIsANewDocument_data();
    void newCaptureIsANewDocument();
    void saveOfAnOpenedFileCopiesNothing_data();
    void saveOfAnOpenedFileCopiesNothing();
    void failedOpenIsReportedAsFailure_data();
    void failedOpenIsReportedAsFailure();
    void saveRunsBesideTheWindow();
    void cancelLeavesTheFileAsItWas();
    void noNewCaptureOverTheFileBeingSaved();
    void closingWhileSaving_data();
    void closingWhileSaving();

private:
    void createWindow();
    QAction *action(const QString &text) const;
    QStringList messages() const;
    QString path(const QString &name) const { return QDir::current().absoluteFilePath(name); }
    // Answers the next file dialog with this name, as typed by a user, and
    // confirms replacing a file that exists; *title gets the dialog's title.
    void answerFileDialog(const QString &name, QString *title = nullptr);
    // Opens the file through File > Open and waits until its replay has
    // played every report that is due.
    void openThroughTheMenu(const QString &name);
    void waitForReplayToSettle();
    SaveProgress *progress() const { return m_window->findChild<SaveProgress *>(); }

    std::unique_ptr<MainWindow> m_window;
};

void TestCaptureDocument::initTestCase()
{
    SentrovaInterface::instance();
    ConsoleLogCapture::install();
}

void TestCaptureDocument::init()
{
    QSettings().clear();
    QDir work(QDir::currentPath());
    for (const QString &entry : work.entryList(QDir::Files | QDir::Hidden))
        QFile::remove(work.filePath(entry));
    ConsoleLogCapture::lines().clear();
}

void TestCaptureDocument::cleanup()
{
    m_window.reset();
    SentrovaInterface *hub = SentrovaInterface::instance();
    hub->captureReplay()->stop();
    if (hub->isCapturing())
        hub->toggleLsCapture();
    hub->setCaptureFileName(QStringLiteral("test.dat"));
}

void TestCaptureDocument::createWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        qWarning("main window not exposed");
}

QAction *TestCaptureDocument::action(const QString &text) const
{
    for (QAction *menu : m_window->menuBar()->actions()) {
        if (!menu->menu())
            continue;
        for (QAction *entry : menu->menu()->actions())
            if (entry->text() == text)
                return entry;
    }
    return nullptr;
}

QStringList TestCaptureDocument::messages() const
{
    auto *console = qobject_cast<ConsoleView *>(
        m_window->findChild<QDockWidget *>(QStringLiteral("debugwindow"))->widget());
    console->flush();
    QStringList result;
    for (const QString &line : console->toPlainText().split(QLatin1Char('\n')))
        result << line.mid(line.indexOf(QLatin1String(": ")) + 2);
    return result;
}

void TestCaptureDocument::answerFileDialog(const QString &name, QString *title)
{
    ::onModalDialog(m_window.get(), [this, name, title](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY2(dialog, "a file dialog was expected");
        if (title)
            *title = dialog->windowTitle();
        if (dialog->acceptMode() == QFileDialog::AcceptSave && QFile::exists(name)) {
            ::onModalDialog(m_window.get(), [](QWidget *question) {
                auto *box = qobject_cast<QMessageBox *>(question);
                QVERIFY2(box, "the dialog should ask before replacing a file");
                box->button(QMessageBox::Yes)->click();
            });
        }
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(name);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
}

void TestCaptureDocument::waitForReplayToSettle()
{
    CaptureReplay *replay = SentrovaInterface::instance()->captureReplay();
    QTRY_VERIFY(replay->position() > 0);
}

void TestCaptureDocument::openThroughTheMenu(const QString &name)
{
    answerFileDialog(name);
    action(QStringLiteral("&Open..."))->trigger();
    QCOMPARE(m_window->statusBar()->currentMessage(), "File opened: " + name);
    waitForReplayToSettle();
}

void TestCaptureDocument::newCaptureIsANewDocument_data()
{
    QTest::addColumn<QString>("earlier"); // how the earlier document got its file
    QTest::addColumn<bool>("fromCommandLine"); // how the new capture starts

    QTest::newRow("saved capture, then the capture action") << "saved" << false;
    QTest::newRow("saved capture, then --capture") << "saved" << true;
    QTest::newRow("File > Open, then the capture action") << "opened" << false;
    QTest::newRow("recent file, then the capture action") << "recent" << false;
    QTest::newRow("--replay, then --capture") << "replay" << true;
}

// An earlier document has its file; a new capture starts; Save asks for a
// name, and the earlier file keeps the earlier records.
void TestCaptureDocument::newCaptureIsANewDocument()
{
    QFETCH(QString, earlier);
    QFETCH(bool, fromCommandLine);

    SentrovaInterface *hub = SentrovaInterface::instance();
    const QString earlierFile = path(QStringLiteral("earlier.dat"));
    const QString newFile = path(QStringLiteral("new.dat"));
    const QByteArray earlierRecords = reports(0x0E01, 3);
    const QByteArray newRecords = reports(0x0E21, 2);
    if (earlier != QLatin1String("saved"))
        write(earlierFile, earlierRecords);
    if (earlier == QLatin1String("recent"))
        QSettings().setValue("recentFileList", QStringList{earlierFile});
    createWindow();
    QAction *capture = action(QStringLiteral("Enable/disable &capture"));
    QAction *save = action(QStringLiteral("&Save"));
    QVERIFY(capture && save);

    if (earlier == QLatin1String("saved")) {
        capture->trigger();
        hub->locationStream()->receiveDatagram(earlierRecords);
        capture->trigger();
        QString title;
        answerFileDialog(earlierFile, &title);
        save->trigger();
        QCOMPARE(title, QStringLiteral("Save captured data to a file"));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), "File saved: " + earlierFile,
                                  kSaveTimeoutMs);
    } else if (earlier == QLatin1String("opened")) {
        openThroughTheMenu(earlierFile);
    } else if (earlier == QLatin1String("recent")) {
        QMenu *file = m_window->menuBar()->actions().at(0)->menu();
        QAction *first = file->actions().at(8);
        QCOMPARE(first->text(), QStringLiteral("&1 earlier.dat"));
        first->trigger();
        waitForReplayToSettle();
    } else {
        m_window->loadFile(earlierFile);
        waitForReplayToSettle();
    }
    QCOMPARE(m_window->windowFilePath(), earlierFile);
    QCOMPARE(readAll(earlierFile), earlierRecords);
    // A user starts capturing once the replay has played out.
    QTRY_VERIFY(!hub->captureReplay()->isActive());

    if (fromCommandLine) {
        hub->setCaptureFileName(path(QStringLiteral("run.dat")));
        hub->toggleLsCapture();
    } else {
        capture->trigger();
    }
    QVERIFY(hub->isCapturing());
    // The new capture has no file yet, whatever the window showed before.
    QVERIFY(m_window->windowFilePath().isEmpty());
    hub->locationStream()->receiveDatagram(newRecords);

    QString title;
    answerFileDialog(newFile, &title);
    save->trigger();
    QCOMPARE(title, QStringLiteral("Save captured data to a file"));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), "File saved: " + newFile, kSaveTimeoutMs);
    QCOMPARE(readAll(newFile), newRecords);
    QCOMPARE(readAll(earlierFile), earlierRecords);
    QCOMPARE(m_window->windowFilePath(), newFile);
    QCOMPARE(QSettings().value("recentFileList").toStringList(), (QStringList{newFile, earlierFile}));

    // From now on Save goes to the new file without asking, with what the
    // capture holds by then.
    const QByteArray more = reports(0x0E31, 1);
    hub->locationStream()->receiveDatagram(more);
    save->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(readAll(newFile), newRecords + more, kSaveTimeoutMs);
    QCOMPARE(readAll(earlierFile), earlierRecords);
}

void TestCaptureDocument::saveOfAnOpenedFileCopiesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Save") << "&Save";
    QTest::newRow("Save As onto itself") << "Save &As...";
}

// The file opened is the document: Save has nothing to copy and says so.
void TestCaptureDocument::saveOfAnOpenedFileCopiesNothing()
{
    QFETCH(QString, how);

    const QString opened = path(QStringLiteral("opened.dat"));
    const QByteArray records = reports(0x0E41, 4);
    write(opened, records);
    createWindow();
    openThroughTheMenu(opened);
    const QDateTime modified = QFileInfo(opened).lastModified();

    QString title;
    const bool asks = how != QLatin1String("&Save");
    if (asks)
        answerFileDialog(opened, &title);
    else
        ::onModalDialog(m_window.get(), [&title](QWidget *modal) {
            title = modal->windowTitle();
            modal->close();
        });
    action(how)->trigger();
    QCOMPARE(title.isEmpty(), !asks);
    QCOMPARE(m_window->statusBar()->currentMessage(), opened + " already holds this capture: nothing to copy");
    QCOMPARE(readAll(opened), records);
    QCOMPARE(QFileInfo(opened).lastModified(), modified);
    QCOMPARE(m_window->windowFilePath(), opened);
    QVERIFY(!progress()->isVisible());
}

void TestCaptureDocument::failedOpenIsReportedAsFailure_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("larger than a replay holds") << "large" << "the file is larger than 1024 MiB";
    QTest::newRow("gone once chosen") << "gone" << "No such file or directory";
}

// A capture file that cannot be opened is reported as such, on the status
// bar and the console, and the document shown stays as it was.
void TestCaptureDocument::failedOpenIsReportedAsFailure()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);

    const QString shown = path(QStringLiteral("shown.dat"));
    write(shown, reports(0x0E51, 2));
    const QString bad = path(QStringLiteral("bad.dat"));
    {
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // Sparse: no disk space is taken.
        if (fault == QLatin1String("large"))
            QVERIFY(file.resize(CaptureReplay::kMaxFileBytes + 1));
    }
    createWindow();
    openThroughTheMenu(shown);

    ::onModalDialog(m_window.get(), [bad, fault](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(bad);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        if (fault == QLatin1String("gone"))
            QVERIFY(QFile::remove(bad));
    });
    action(QStringLiteral("&Open..."))->trigger();

    const QString failure = "Cannot open capture file " + bad + ": " + reason;
    QCOMPARE(m_window->statusBar()->currentMessage(), failure);
    const QStringList console = messages();
    QCOMPARE(console.constLast(), failure);
    QVERIFY(console.filter(QStringLiteral("File opened")).isEmpty());
    QVERIFY(ConsoleLogCapture::lines().contains(failure));
    QCOMPARE(m_window->windowFilePath(), shown);
    QCOMPARE(QSettings().value("recentFileList").toStringList(), QStringList{shown});
    QCOMPARE(SentrovaInterface::instance()->captureReplay()->fileName(), shown);
}

// A large save runs while the window goes on: its progress shows in the
// status bar, a second save waits for it, and "File saved" comes when the
// file is written.
void TestCaptureDocument::saveRunsBesideTheWindow()
{
    const QString source = path(QStringLiteral("large.dat"));
    const QString target = path(QStringLiteral("copy.dat"));
    const QByteArray bytes = largeCapture();
    write(source, bytes);
    write(target, "earlier\n");
    createWindow();
    openThroughTheMenu(source);
    QAction *save = action(QStringLiteral("&Save"));
    QAction *saveAs = action(QStringLiteral("Save &As..."));
    QSignalSpy shown(progress()->bar(), &QProgressBar::valueChanged);

    answerFileDialog(target);
    saveAs->trigger();
    // Under way, not done: the target is replaced only when complete.
    QVERIFY(progress()->isVisible());
    QCOMPARE(progress()->label()->text(), QStringLiteral("Saving copy.dat"));
    QVERIFY(progress()->cancelButton()->isEnabled());
    QVERIFY(!save->isEnabled() && !saveAs->isEnabled());
    QCOMPARE(readAll(target), QByteArray("earlier\n"));
    QVERIFY(!m_window->statusBar()->currentMessage().startsWith(QLatin1String("File saved")));
    m_window->saveFile(path(QStringLiteral("other.dat")));
    QCOMPARE(m_window->statusBar()->currentMessage(),
             "Saving " + target + ": wait for that save to end or cancel it");

    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), "File saved: " + target, kSaveTimeoutMs);
    QVERIFY(readAll(target) == bytes);
    QVERIFY(!QFile::exists(path(QStringLiteral("other.dat"))));
    QCOMPARE(filesStartingWith(target), QStringList{"copy.dat"});
    QVERIFY(!progress()->isVisible());
    QVERIFY(save->isEnabled() && saveAs->isEnabled());
    QCOMPARE(m_window->windowFilePath(), target);
    bool between = false;
    for (const QList<QVariant> &value : qAsConst(shown))
        between = between || (value.at(0).toInt() > 0 && value.at(0).toInt() < progress()->bar()->maximum());
    QVERIFY2(between, "the progress between start and end was never shown");
}

// Cancel leaves the target as it was, and no temporary file beside it.
void TestCaptureDocument::cancelLeavesTheFileAsItWas()
{
    const QString source = path(QStringLiteral("large.dat"));
    const QString target = path(QStringLiteral("kept.dat"));
    write(source, largeCapture());
    write(target, "kept\n");
    createWindow();
    openThroughTheMenu(source);

    answerFileDialog(target);
    action(QStringLiteral("Save &As..."))->trigger();
    QVERIFY(progress()->isVisible());
    progress()->cancelButton()->click();
    QVERIFY(!progress()->cancelButton()->isEnabled());

    const QString cancelled = "Saving " + target + " cancelled: the file is left as it was";
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), cancelled, kSaveTimeoutMs);
    QCOMPARE(messages().constLast(), cancelled);
    QCOMPARE(readAll(target), QByteArray("kept\n"));
    QCOMPARE(filesStartingWith(target), QStringList{"kept.dat"});
    QVERIFY(!progress()->isVisible());
    // The document keeps the file it had; the target is not taken as its own.
    QCOMPARE(m_window->windowFilePath(), source);
    QVERIFY(!QSettings().value("recentFileList").toStringList().contains(target));
}

// A capture would truncate the file it records into; while that file is
// being saved, the capture action waits.
void TestCaptureDocument::noNewCaptureOverTheFileBeingSaved()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    const QString recorded = path(QStringLiteral("test.dat"));
    const QString target = path(QStringLiteral("kept.dat"));
    const QByteArray bytes = largeCapture();
    write(recorded, bytes);
    createWindow();
    openThroughTheMenu(recorded);
    QAction *capture = action(QStringLiteral("Enable/disable &capture"));

    answerFileDialog(target);
    action(QStringLiteral("Save &As..."))->trigger();
    QVERIFY(progress()->isVisible());
    capture->trigger();
    QVERIFY(!hub->isCapturing());
    const QString refused = "No new capture while test.dat is being saved: the capture would overwrite it; "
                            "wait for the save to end or cancel it";
    QCOMPARE(m_window->statusBar()->currentMessage(), refused);
    QCOMPARE(messages().constLast(), refused);

    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), "File saved: " + target, kSaveTimeoutMs);
    QVERIFY(readAll(target) == bytes);
    capture->trigger();
    QVERIFY(hub->isCapturing());
}

void TestCaptureDocument::closingWhileSaving_data()
{
    QTest::addColumn<bool>("stop");
    QTest::newRow("stop saving and close") << true;
    QTest::newRow("keep saving") << false;
}

// Closing the window while a capture is saved asks first; stopping leaves
// the file as it was.
void TestCaptureDocument::closingWhileSaving()
{
    QFETCH(bool, stop);

    const QString source = path(QStringLiteral("large.dat"));
    const QString target = path(QStringLiteral("kept.dat"));
    const QByteArray bytes = largeCapture();
    write(source, bytes);
    write(target, "kept\n");
    createWindow();
    openThroughTheMenu(source);
    answerFileDialog(target);
    action(QStringLiteral("Save &As..."))->trigger();
    QVERIFY(progress()->isVisible());

    QString question;
    ::onModalDialog(m_window.get(), [&question, stop](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        question = box->text();
        box->button(stop ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    QCOMPARE(m_window->close(), stop);
    QCOMPARE(question, target + " is still being saved. Stop saving and close? The file is left as it was.");
    if (stop) {
        QCOMPARE(readAll(target), QByteArray("kept\n"));
        QCOMPARE(filesStartingWith(target), QStringList{"kept.dat"});
        return;
    }
    QVERIFY(m_window->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), "File saved: " + target, kSaveTimeoutMs);
    QVERIFY(readAll(target) == bytes);
}

QTEST_MAIN(TestCaptureDocument)
#include "tst_capturedocument.moc"
