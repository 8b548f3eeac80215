// The periodic timer: when it runs, that OnTimer comes on a thread of its own, and how it stops.
#include "components/mmtimer.h"

#include "support/app_fixtures.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace pt4;
using namespace pt4::testing;

namespace {

// Counts ticks and notes the thread they came on.
struct TickCounter {
    std::atomic<int> ticks{0};
    std::atomic<bool> onOwnerThread{false};
    std::thread::id owner = std::this_thread::get_id();
    TMMTimer::TNotifyEvent Handler()
    {
        return [this](TMMTimer&) {
            if (std::this_thread::get_id() == owner)
                onOwnerThread = true;
            ++ticks;
        };
    }
};

} // namespace

class MMTimerTest : public QObject {
    Q_OBJECT
private slots:
    void newTimerIsEnabledWithOneSecondAndStartsNothing();
    void loadedStartsATimerWithAHandler();
    void enablingWithoutHandlerStartsNothing();
    void zeroIntervalStopsARunningTimer();
    void settingTheSameValueKeepsTheTimer();
    void tooLongAPeriodIsRefused();
    void handlerMayStopItsOwnTimer();
    void destroyingARunningTimerStopsIt();
};

void MMTimerTest::newTimerIsEnabledWithOneSecondAndStartsNothing()
{
    TMMTimer timer;
    QCOMPARE(timer.Enabled(), true);
    QCOMPARE(timer.Interval(), 1000u);
    QVERIFY(!timer.Running());
}

void MMTimerTest::loadedStartsATimerWithAHandler()
{
    TickCounter counter;
    TMMTimer timer;
    timer.SetInterval(5);
    timer.OnTimer = counter.Handler();
    QVERIFY(!timer.Running()); // assigning the handler alone starts nothing
    timer.Loaded();
    QVERIFY(timer.Running());
    QVERIFY(WaitUntil([&] { return counter.ticks >= 3; }));
    QVERIFY(!counter.onOwnerThread);
    timer.SetEnabled(false);
    QVERIFY(!timer.Running());
    const int stoppedAt = counter.ticks;
    QTest::qWait(30);
    QCOMPARE(counter.ticks.load(), stoppedAt);
}

void MMTimerTest::enablingWithoutHandlerStartsNothing()
{
    TMMTimer timer;
    timer.SetEnabled(false);
    timer.SetInterval(5);
    timer.SetEnabled(true);
    QVERIFY(!timer.Running());
}

void MMTimerTest::zeroIntervalStopsARunningTimer()
{
    TickCounter counter;
    TMMTimer timer;
    timer.OnTimer = counter.Handler();
    timer.SetInterval(5);
    QVERIFY(timer.Running());
    timer.SetInterval(0);
    QVERIFY(!timer.Running());
    timer.SetInterval(7);
    QVERIFY(timer.Running());
}

void MMTimerTest::settingTheSameValueKeepsTheTimer()
{
    // A long period: a restart would move the first tick; the same value must not restart it.
    TickCounter counter;
    TMMTimer timer;
    timer.OnTimer = counter.Handler();
    timer.SetInterval(50);
    QVERIFY(timer.Running());
    // Re-set every few milliseconds: a restart each time would hold back every tick.
    const bool ticked = WaitUntil(
        [&] {
            timer.SetEnabled(true);
            timer.SetInterval(50);
            return counter.ticks >= 1;
        },
        3000);
    QVERIFY(ticked);
}

void MMTimerTest::tooLongAPeriodIsRefused()
{
    TickCounter counter;
    TMMTimer timer;
    timer.OnTimer = counter.Handler();
    try {
        timer.SetInterval(TMMTimer::kMaxInterval + 1);
        QFAIL("no exception");
    } catch (const EMMTimerError& error) {
        QCOMPARE(QString::fromLatin1(error.what()), QStringLiteral("No timer available"));
    }
    QVERIFY(!timer.Running());
    timer.SetInterval(TMMTimer::kMaxInterval);
    QVERIFY(timer.Running());
}

void MMTimerTest::handlerMayStopItsOwnTimer()
{
    std::atomic<int> ticks{0};
    TMMTimer timer;
    timer.OnTimer = [&ticks](TMMTimer& sender) {
        ++ticks;
        sender.SetEnabled(false);
    };
    timer.SetInterval(2);
    QVERIFY(WaitUntil([&] { return ticks >= 1; }));
    QTest::qWait(20);
    QCOMPARE(ticks.load(), 1);
    QVERIFY(!timer.Running());
}

void MMTimerTest::destroyingARunningTimerStopsIt()
{
    TickCounter counter;
    {
        TMMTimer timer;
        timer.OnTimer = counter.Handler();
        timer.SetInterval(1);
        QVERIFY(WaitUntil([&] { return counter.ticks >= 1; }));
    }
    const int afterDestruction = counter.ticks;
    QTest::qWait(20);
    QCOMPARE(counter.ticks.load(), afterDestruction);
}

QTEST_MAIN(MMTimerTest)
#include "mmtimer_test.moc"
