#include "MdnsSearchState.h"

#include <QtTest>

// The search state that the GUI thread and the discovery worker share: a
// search started while the worker hands over a found master is never lost.
class TestMdnsSearchState : public QObject
{
    Q_OBJECT

private slots:
    void sequences_data()
    {
        // Steps: s = GUI starts a search, x = GUI stops, w = the worker takes
        // the number of the running search, f = the worker ends the search it
        // took. The result of the last f and whether a search still runs.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("finished");
        QTest::addColumn<bool>("active");
        QTest::newRow("found, nothing else") << "swf" << true << false;
        QTest::newRow("new search during the hand-over") << "swsf" << false << true;
        QTest::newRow("new search, taken, then found") << "swswf" << true << false;
        QTest::newRow("stopped before the hand-over") << "swxf" << false << false;
        QTest::newRow("stopped and started again") << "swxsf" << false << true;
        QTest::newRow("second hand-over of the same search") << "swff" << false << false;
    }

    void sequences()
    {
        QFETCH(QString, steps);
        MdnsSearchState state;
        unsigned taken = 0;
        bool finished = false;
        for (const QChar step : steps) {
            switch (step.toLatin1()) {
            case 's': state.start(); break;
            case 'x': state.stop(); break;
            case 'w': taken = state.search(); break;
            case 'f': finished = state.finish(taken); break;
            }
        }
        QTEST(finished, "finished");
        QTEST(state.isActive(), "active");
    }
};

QTEST_GUILESS_MAIN(TestMdnsSearchState)
#include "tst_mdnssearchstate.moc"
