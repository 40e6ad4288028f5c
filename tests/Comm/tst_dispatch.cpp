#include "Dispatch.h"
#include "SentrovaInterface.h"

#include <QSignalSpy>
#include <QtTest>

class tst_Dispatch : public QObject
{
    Q_OBJECT

private slots:
    void singleInstances()
    {
        QCOMPARE(SentrovaInterface::instance(), SentrovaInterface::instance());
        QCOMPARE(Dispatch::instance(), Dispatch::instance());
    }

    void idStoredBeforeSignal()
    {
        Dispatch *d = Dispatch::instance();
        uint64_t seen = 0;
        connect(d, &Dispatch::idSelected, this, [&](uint64_t) { seen = d->selectedId(); });
        QSignalSpy spy(d, &Dispatch::idSelected);
        d->emitIdSelected(0x1234);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<uint64_t>(), uint64_t(0x1234));
        QCOMPARE(seen, uint64_t(0x1234));
    }

    void hubMessagesReachTheConsoleSignal()
    {
        QSignalSpy spy(SentrovaInterface::instance(), &SentrovaInterface::displayMessage);
        RtlsHubLink::current()->postMessage(QStringLiteral("hello"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("hello"));
    }
};

QTEST_GUILESS_MAIN(tst_Dispatch)
#include "tst_dispatch.moc"
