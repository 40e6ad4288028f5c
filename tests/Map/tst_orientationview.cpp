#include "Dispatch.h"
#include "OrientationView.h"
#include "OrientationViewSettings.h"
#include "RtlsIMU.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"
#include "SettingsTab.h"

#include <QGLViewer/camera.h>
#include <QCheckBox>
#include <QGroupBox>
#include <QSpinBox>
#include <QtTest>

#include <cmath>
#include <memory>

using qglviewer::Vec;

namespace {

constexpr uint64_t kTagId = 0x2001;
constexpr uint64_t kOtherId = 0x2002;
const double kTip = 0.9 * OrientationView::kAxisLength;

bool near(const QColor &c, const QColor &want)
{
    return std::abs(c.red() - want.red()) < 40 && std::abs(c.green() - want.green()) < 40
        && std::abs(c.blue() - want.blue()) < 40;
}

// Pixels of the text colour in the top left corner, where the view writes
// its text and the body, seen from the view's start position, never reaches.
int textPixelsInReadout(const QImage &image)
{
    int text = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            if (near(image.pixelColor(x, y), QColor(20, 24, 32)))
                ++text;
    return text;
}

} // namespace

Q_DECLARE_METATYPE(qglviewer::Vec)

class TestOrientationView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void noSelectionDrawsNoBody();
    void bodyAxesFollowTheQuaternion_data();
    void bodyAxesFollowTheQuaternion();
    void onlyTheSelectedNodeMarksTheViewDirty();
    void readoutCanBeHiddenButTheNotesStay();
    void panelDrivesTheView();
    void newViewTakesCurrentSelectionAndPanelGoesWithIt();

private:
    QColor pixelAt(const Vec &world);
    void setQuaternion(RtlsObject *node, float q0, float q1, float q2, float q3);

    std::unique_ptr<OrientationView> m_view;
    RtlsObject *m_tag = nullptr;
    RtlsObject *m_other = nullptr;
};

void TestOrientationView::initTestCase()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    m_tag = new RtlsObject(kTagId, hub);
    m_tag->setName(QStringLiteral("Forklift"));
    m_tag->setMode(QStringLiteral("tag"));
    hub->insertNonAnchor(m_tag);
    m_other = new RtlsObject(kOtherId, hub);
    m_other->setMode(QStringLiteral("tag"));
    hub->insertNonAnchor(m_other);

    Dispatch::instance()->emitIdSelected(0);
    m_view = std::make_unique<OrientationView>();
    m_view->resize(400, 400);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TestOrientationView::cleanup()
{
    m_view->setShowBodyAxes(true);
    m_view->setShowReadout(true);
}

QColor TestOrientationView::pixelAt(const Vec &world)
{
    const QImage image = m_view->grabFramebuffer();
    const Vec screen = m_view->camera()->projectedCoordinatesOf(world);
    const qreal ratio = m_view->devicePixelRatioF();
    return image.pixelColor(int(screen.x * ratio), int(screen.y * ratio));
}

void TestOrientationView::setQuaternion(RtlsObject *node, float q0, float q1, float q2, float q3)
{
    node->imu()->setQuat(q0, q1, q2, q3);
    SentrovaInterface::instance()->announceNodeUpdated(node);
}

void TestOrientationView::noSelectionDrawsNoBody()
{
    setQuaternion(m_tag, 1, 0, 0, 0);
    Dispatch::instance()->emitIdSelected(0);
    QCOMPARE(m_view->readout().lines(), QStringList{QStringLiteral("No selection")});
    QVERIFY(!near(pixelAt(Vec(kTip, 0, 0)), Qt::red));
    QVERIFY(textPixelsInReadout(m_view->grabFramebuffer()) > 20);
}

void TestOrientationView::bodyAxesFollowTheQuaternion_data()
{
    QTest::addColumn<QVector<float>>("q");
    QTest::addColumn<Vec>("redAt");
    QTest::addColumn<Vec>("greenAt");
    QTest::addColumn<Vec>("blueAt");
    QTest::addColumn<QString>("text");

    const float h = float(std::sqrt(0.5));
    QTest::newRow("identity") << QVector<float>{1, 0, 0, 0} << Vec(kTip, 0, 0) << Vec(0, kTip, 0)
                              << Vec(0, 0, kTip) << "Roll: 0.0°  Pitch: 0.0°  Yaw: 0.0°";
    QTest::newRow("yaw 90") << QVector<float>{h, 0, 0, h} << Vec(0, kTip, 0) << Vec(-kTip, 0, 0)
                            << Vec(0, 0, kTip) << "Roll: 0.0°  Pitch: 0.0°  Yaw: 90.0°";
    QTest::newRow("pitch 90") << QVector<float>{h, 0, h, 0} << Vec(0, 0, -kTip) << Vec(0, kTip, 0)
                              << Vec(kTip, 0, 0) << "Roll: 0.0°  Pitch: 90.0°  Yaw: 0.0°";
    QTest::newRow("zero: unturned, with a note") << QVector<float>{0, 0, 0, 0} << Vec(kTip, 0, 0)
                                                 << Vec(0, kTip, 0) << Vec(0, 0, kTip) << "no orientation data";
}

void TestOrientationView::bodyAxesFollowTheQuaternion()
{
    QFETCH(QVector<float>, q);
    QFETCH(Vec, redAt);
    QFETCH(Vec, greenAt);
    QFETCH(Vec, blueAt);
    QFETCH(QString, text);

    Dispatch::instance()->emitIdSelected(kTagId);
    setQuaternion(m_tag, q[0], q[1], q[2], q[3]);
    QCOMPARE(m_view->readout().lines(), (QStringList{QStringLiteral("0x2001 Forklift"), text}));

    const QColor red = pixelAt(redAt);
    const QColor green = pixelAt(greenAt);
    const QColor blue = pixelAt(blueAt);
    QVERIFY2(near(red, QColor(255, 0, 0)), qPrintable(red.name()));
    QVERIFY2(near(green, QColor(0, 204, 0)), qPrintable(green.name()));
    QVERIFY2(near(blue, QColor(0, 0, 255)), qPrintable(blue.name()));
}

void TestOrientationView::onlyTheSelectedNodeMarksTheViewDirty()
{
    Dispatch::instance()->emitIdSelected(kTagId);
    QVERIFY(m_view->isDirty());
    QTRY_VERIFY(!m_view->isDirty());

    for (int i = 0; i < 100; ++i)
        setQuaternion(m_other, 1, 0, 0, float(i));
    QVERIFY(!m_view->isDirty());
    SentrovaInterface::instance()->announceNodeUpdated(nullptr);
    QVERIFY(!m_view->isDirty());

    setQuaternion(m_tag, 0, 0, 0, 1);
    QVERIFY(m_view->isDirty());
    // The view's own clock draws it.
    QSignalSpy frames(m_view.get(), &QGLViewer::drawFinished);
    QVERIFY(frames.wait(5000));
    QVERIFY(!m_view->isDirty());
    QCOMPARE(m_view->readout().yaw(), 180.0);
}

void TestOrientationView::readoutCanBeHiddenButTheNotesStay()
{
    Dispatch::instance()->emitIdSelected(kTagId);
    setQuaternion(m_tag, 1, 0, 0, 0);
    QVERIFY(textPixelsInReadout(m_view->grabFramebuffer()) > 20);
    m_view->setShowReadout(false);
    QCOMPARE(textPixelsInReadout(m_view->grabFramebuffer()), 0);
    // Without data the unturned body would mislead: the note is shown anyway.
    setQuaternion(m_tag, 0, 0, 0, 0);
    QVERIFY(textPixelsInReadout(m_view->grabFramebuffer()) > 20);
}

void TestOrientationView::panelDrivesTheView()
{
    QVERIFY(SettingsTab::instance()->settingsTitles().contains(QStringLiteral("Orientation View Settings")));
    OrientationViewSettings *panel = m_view->settingsPanel();
    QVERIFY(panel);
    QVERIFY(SettingsTab::instance()->settingsGroup(QStringLiteral("Orientation View Settings"))->isAncestorOf(panel));

    Dispatch::instance()->emitIdSelected(kTagId);
    setQuaternion(m_tag, 1, 0, 0, 0);
    QVERIFY(near(pixelAt(Vec(kTip, 0, 0)), Qt::red));

    auto *axes = panel->findChild<QCheckBox *>(QStringLiteral("bodyAxes"));
    QVERIFY(axes && axes->isChecked());
    axes->click();
    QVERIFY(!m_view->showBodyAxes());
    QVERIFY(!near(pixelAt(Vec(kTip, 0, 0)), Qt::red));

    QSignalSpy intervals(m_view.get(), &OrientationView::refreshIntervalChanged);
    auto *interval = panel->findChild<QSpinBox *>(QStringLiteral("refreshInterval"));
    interval->setValue(200);
    QCOMPARE(m_view->refreshInterval(), 200);
    QCOMPARE(intervals.count(), 1);
    m_view->setRefreshInterval(200);
    QCOMPARE(intervals.count(), 1);
    m_view->setRefreshInterval(5);
    QCOMPARE(m_view->refreshInterval(), OrientationView::kMinRefreshInterval);
    QCOMPARE(interval->value(), OrientationView::kMinRefreshInterval);

    // The panel follows changes made elsewhere.
    auto *decimals = panel->findChild<QSpinBox *>(QStringLiteral("angleDecimals"));
    m_view->setAngleDecimals(3);
    QCOMPARE(decimals->value(), 3);
    QCOMPARE(m_view->readout().lines(3).last(), QStringLiteral("Roll: 0.000°  Pitch: 0.000°  Yaw: 0.000°"));
    m_view->setAngleDecimals(1);
    m_view->setRefreshInterval(50);
}

void TestOrientationView::newViewTakesCurrentSelectionAndPanelGoesWithIt()
{
    Dispatch::instance()->emitIdSelected(kTagId);
    setQuaternion(m_tag, 0, 0, 0, 1);
    {
        OrientationView second;
        QCOMPARE(second.readout().id(), kTagId);
        QCOMPARE(second.readout().yaw(), 180.0);
        // Turned by the map before its first show, it keeps that view.
        const qglviewer::Quaternion turned(Vec(0, 0, 1), 1.0);
        second.camera()->setOrientation(turned);
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        QVERIFY(std::abs(second.camera()->orientation().angle() - 1.0) < 1e-9);
        QCOMPARE(SettingsTab::instance()->settingsTitles().count(QStringLiteral("Orientation View Settings")), 2);
    }
    QCOMPARE(SettingsTab::instance()->settingsTitles().count(QStringLiteral("Orientation View Settings")), 1);
}

QTEST_MAIN(TestOrientationView)
#include "tst_orientationview.moc"
