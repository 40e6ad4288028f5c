#include "RtlsMetaTypes.h"
#include "RtlsZone.h"

#include <QtTest>

class tst_RtlsZone : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerRtlsMetaTypes(); }

    void propertiesThroughMetaObject()
    {
        RtlsZone z;
        QCOMPARE(z.id(), QStringLiteral("UNKNOWN"));
        QVERIFY(z.setProperty("id", QStringLiteral("dock")));
        QVERIFY(z.setProperty("flags", QVariant::fromValue<uint32_t>(3)));
        QVERIFY(z.setProperty("target", QVariant::fromValue<uint64_t>(0xDECA000000001234ull)));
        QCOMPARE(z.id(), QStringLiteral("dock"));
        QCOMPARE(z.flags(), 3u);
        QCOMPARE(z.property("target").value<uint64_t>(), uint64_t(0xDECA000000001234ull));
    }

    void cornersAreIndependent()
    {
        RtlsZone z;
        z.first()->setPos(1, 2, 3);
        z.second()->setPos(4, 5, 6);
        QCOMPARE(z.first()->distance(*z.second()), std::sqrt(27.0));
    }
};

QTEST_GUILESS_MAIN(tst_RtlsZone)
#include "tst_rtlszone.moc"
