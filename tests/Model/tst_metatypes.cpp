#include "RtlsMetaTypes.h"
#include "RtlsObject.h"

#include <QMetaProperty>
#include <QtTest>

class tst_MetaTypes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerRtlsMetaTypes(); }

    void namesResolve_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("sameAs");
        QTest::newRow("uint64_t") << QByteArray("uint64_t") << qMetaTypeId<quint64>();
        QTest::newRow("int64_t") << QByteArray("int64_t") << qMetaTypeId<qint64>();
        QTest::newRow("uint32_t") << QByteArray("uint32_t") << qMetaTypeId<quint32>();
        QTest::newRow("int32_t") << QByteArray("int32_t") << qMetaTypeId<qint32>();
        QTest::newRow("uint16_t") << QByteArray("uint16_t") << qMetaTypeId<quint16>();
        QTest::newRow("uint8_t") << QByteArray("uint8_t") << qMetaTypeId<quint8>();
    }

    void namesResolve()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, sameAs);
        const int id = QMetaType::type(name.constData());
        QVERIFY(id != QMetaType::UnknownType);
        QCOMPARE(QMetaType::sizeOf(id), QMetaType::sizeOf(sameAs));
    }

    void nodePropertiesHaveResolvedTypes()
    {
        const QMetaObject &mo = RtlsObject::staticMetaObject;
        for (int i = mo.propertyOffset(); i < mo.propertyCount(); ++i)
            QVERIFY2(mo.property(i).userType() != QMetaType::UnknownType, mo.property(i).name());
    }
};

QTEST_GUILESS_MAIN(tst_MetaTypes)
#include "tst_metatypes.moc"
