#include "OrvTextView/Misc/DelayedActionController.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

using namespace orv;

class DelayedActionControllerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aBurstOfRequestsRunsTheActionOnceAfterTheLast()
    {
        int runs = 0;
        QElapsedTimer sinceLast;
        qint64 ranAfter = -1;
        DelayedActionController controller(0.15, [&] {
            ++runs;
            ranAfter = sinceLast.elapsed();
        });
        for (int i = 0; i < 5; ++i) {
            controller.perform();
            sinceLast.start();
            QTest::qWait(30);
        }
        QTRY_COMPARE_WITH_TIMEOUT(runs, 1, 2000);
        QVERIFY2(ranAfter >= 150, qPrintable(QString::number(ranAfter)));
        QTest::qWait(250);
        QCOMPARE(runs, 1);
    }

    void requestsFurtherApartThanTheIntervalRunTwice()
    {
        int runs = 0;
        DelayedActionController controller(0.05, [&] { ++runs; });
        controller.perform();
        QTRY_COMPARE(runs, 1);
        controller.perform();
        QTRY_COMPARE(runs, 2);
    }

    void aBurstWhoseTimersAllWakeLateRunsOnce()
    {
        int runs = 0;
        DelayedActionController controller(0.05, [&] { ++runs; });
        controller.perform();
        controller.perform();
        controller.perform();
        QThread::msleep(150); // a busy event loop: every request's timer is overdue
        QTest::qWait(200);
        QCOMPARE(runs, 1);
    }

    void aZeroIntervalRunsEveryRequest()
    {
        int runs = 0;
        DelayedActionController controller(0, [&] { ++runs; });
        controller.perform();
        controller.perform();
        controller.perform();
        QCOMPARE(runs, 0); // never inside perform()
        QTRY_COMPARE(runs, 3);
    }

    void aControllerReleasedEarlyRunsNothing()
    {
        int runs = 0;
        auto* controller = new DelayedActionController(0.05, [&] { ++runs; });
        controller->perform();
        delete controller;
        QTest::qWait(150);
        QCOMPARE(runs, 0);
    }
};

QTEST_GUILESS_MAIN(DelayedActionControllerTest)
#include "DelayedActionControllerTest.moc"
