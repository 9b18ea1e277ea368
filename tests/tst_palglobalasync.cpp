// The host's asynchronous runner: work away from the GUI thread, then its completion on
// the GUI thread, strictly after the work and never inside DoAsync.

#include "PalGlobalAsync.h"
#include "TestMessageHandler.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QSemaphore>
#include <QStringList>
#include <QTest>
#include <QThread>

#include <memory>

class tst_PalGlobalAsync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestMessageHandler::install(); }
    void cleanup() { QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000)); }

    // First: the runner must not exist yet when a worker asks for it.
    void instanceFromWorkerLivesOnGuiThread();
    void workOffGuiThreadDoneOnGuiThread();
    void doneWaitsForItsOwnWork();
    void missingFunctionsAreSkipped();
};

void tst_PalGlobalAsync::workOffGuiThreadDoneOnGuiThread()
{
    QThread* const gui = QCoreApplication::instance()->thread();
    QThread* workThread = nullptr;
    QThread* doneThread = nullptr;

    PalGlobalAsync::Instance()->DoAsync([&]() { workThread = QThread::currentThread(); },
                                        [&]() { doneThread = QThread::currentThread(); });
    // Even with the work finished, the completion waits for the event loop.
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));
    QVERIFY(workThread && workThread != gui);
    QVERIFY(!doneThread);
    QTRY_COMPARE(doneThread, gui);
}

void tst_PalGlobalAsync::doneWaitsForItsOwnWork()
{
    // The slow task's work blocks until the test lets it go; the quick task meanwhile
    // completes, and the slow one's completion must not run before its work returned.
    QSemaphore release;
    QStringList events;
    QAtomicInt slowWorkReturned = 0;

    PalGlobalAsync::Instance()->DoAsync(
        [&]() {
            release.acquire();
            slowWorkReturned.storeRelease(1);
        },
        [&]() { events << (slowWorkReturned.loadAcquire() ? "slow" : "slow too early"); });
    PalGlobalAsync::Instance()->DoAsync([]() {}, [&]() { events << "quick"; });

    QTRY_COMPARE(events, QStringList{"quick"});
    release.release();
    QTRY_COMPARE(events, (QStringList{"quick", "slow"}));
}

void tst_PalGlobalAsync::instanceFromWorkerLivesOnGuiThread()
{
    PalGlobalAsync* fromWorker = nullptr;
    std::unique_ptr<QThread> thread(
        QThread::create([&]() { fromWorker = PalGlobalAsync::Instance(); }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QCOMPARE(fromWorker, PalGlobalAsync::Instance());
    QCOMPARE(fromWorker->thread(), QCoreApplication::instance()->thread());
}

void tst_PalGlobalAsync::missingFunctionsAreSkipped()
{
    bool bWork = false;
    bool bDone = false;
    PalGlobalAsync::Instance()->DoAsync([&]() { bWork = true; }, nullptr);
    PalGlobalAsync::Instance()->DoAsync(nullptr, [&]() { bDone = true; });
    QTRY_VERIFY(bDone);
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));
    QVERIFY(bWork);
}

QTEST_MAIN(tst_PalGlobalAsync)
#include "tst_palglobalasync.moc"
