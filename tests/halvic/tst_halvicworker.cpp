// The worker thread behind the NUT and HID backends: what the caller sees while the device hangs.
#include "ThreadedBackend.h"

#include <QTest>
#include <atomic>
#include <poll.h>

using namespace halvic;

namespace {

struct Script
{
    std::atomic<bool> hang{false};
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
    std::atomic<int> switchedOff{0};
};

// A device that answers on mains, or hangs while told to or until the worker is stopped.
class ScriptedDevice : public Backend
{
public:
    ScriptedDevice(Script& script, const Interrupt& interrupt)
        : m_script(script)
        , m_interrupt(interrupt)
    {
        ++m_script.opened;
    }
    ~ScriptedDevice() override { ++m_script.closed; }

    std::optional<UpsReading> readStatus() override
    {
        hangIfTold();
        return UpsReading{};
    }
    bool switchOff() override
    {
        hangIfTold();
        ++m_script.switchedOff;
        return true;
    }

private:
    void hangIfTold()
    {
        while (m_script.hang && !m_interrupt.isRaised())
            waitFor(-1, POLLIN, Clock::now() + std::chrono::milliseconds(5), m_interrupt);
    }

    Script& m_script;
    const Interrupt& m_interrupt;
};

WorkerTiming quickTiming()
{
    using std::chrono::milliseconds;
    return {.pollInterval = milliseconds(10),
            .staleAfter = milliseconds(300),
            .firstReadingWait = milliseconds(20),
            .commandWait = milliseconds(20),
            .commandDeadline = milliseconds(10000),
            .releaseAfterClose = milliseconds(50)};
}

std::unique_ptr<ThreadedBackend> makeWorker(Script& script)
{
    return std::make_unique<ThreadedBackend>(
        [&script](const Interrupt& interrupt) { return std::make_unique<ScriptedDevice>(script, interrupt); },
        quickTiming());
}

} // namespace

class TestHalvicWorker : public QObject
{
    Q_OBJECT

private slots:
    void hungDevice();
    void closedDeviceIsReleasedAndReopened();
};

// While the device hangs, the reading goes stale and UPS-off calls are answered "not accepted"
// within commandWait; the worker sends the command once the device is free, once for all the
// calls that came while it waited; stopping a hung worker is prompt.
void TestHalvicWorker::hungDevice()
{
    Script script;
    auto worker = makeWorker(script);
    QVERIFY(worker->readStatus().has_value());
    script.hang = true;
    QTRY_VERIFY(!worker->readStatus().has_value());
    QVERIFY(!worker->switchOff());
    QVERIFY(!worker->switchOff());
    QCOMPARE(script.switchedOff.load(), 0);

    script.hang = false;
    QTRY_COMPARE(script.switchedOff.load(), 1);
    QVERIFY(worker->switchOff());
    QCOMPARE(script.switchedOff.load(), 2);

    script.hang = true;
    QTRY_VERIFY(!worker->readStatus().has_value());
    QElapsedTimer stopping;
    stopping.start();
    worker.reset();
    QVERIFY2(stopping.elapsed() < 1000, "the interrupt did not end the device's wait");
    QCOMPARE(script.closed.load(), 1);
}

void TestHalvicWorker::closedDeviceIsReleasedAndReopened()
{
    Script script;
    auto worker = makeWorker(script);
    QVERIFY(worker->readStatus().has_value());
    worker->suspend();
    QTRY_COMPARE(script.closed.load(), 1);
    worker->resume();
    QVERIFY(worker->readStatus().has_value());
    QCOMPARE(script.opened.load(), 2);
}

QTEST_GUILESS_MAIN(TestHalvicWorker)
#include "tst_halvicworker.moc"
