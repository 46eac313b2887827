#pragma once

#include "Backend.h"
#include "Wait.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace halvic {

// How the worker thread paces itself and how long a caller ever waits for it.
struct WorkerTiming
{
    // A device that lets the caller ask it (a NUT server, once connected) is asked by the status
    // query itself: the caller reads the answer without sleeping for callerSpin, then waits up to
    // callerWait, and leaves a later answer to the worker, which otherwise sleeps without a timer.
    // After a late answer the worker paces itself as below until its own exchange takes less
    // than half of callerSpin + callerWait.
    std::chrono::milliseconds callerSpin{1};
    std::chrono::milliseconds callerWait{4};
    // Once the rhythm is known, a device that can have the next answer sent for by the kernel
    // (NUT, see NutStatusPipe) has it asked this long before the next query is due; 0: never. A
    // change that reaches the UPS's server within the lead is seen a query later, so it is short:
    // enough for a loopback answer and the caller's timer.
    std::chrono::milliseconds prefetchLead{15};
    // Other devices, and one not yet ready for the caller, are asked by the worker this often
    // until it has learnt the rhythm of the caller's status queries; then once per query, just
    // before it.
    std::chrono::milliseconds pollInterval{1000};
    // How long before an expected status query the worker asks the UPS, on top of the time the
    // last question took.
    std::chrono::milliseconds pollLead{100};
    // A reading older than this is no answer.
    std::chrono::milliseconds staleAfter{5000};
    // The first status query after an open, and one that found the device's connection broken,
    // waits this long for the worker's reading.
    std::chrono::milliseconds firstReadingWait{20};
    // A UPS-off call waits this long for the UPS's answer; the command itself stays queued.
    std::chrono::milliseconds commandWait{20};
    // A UPS-off command the worker could not send within this time is dropped.
    std::chrono::milliseconds commandDeadline{10000};
    // A UPS-off command under way is taken up again this often.
    std::chrono::milliseconds commandRetry{1000};
    // Closed this long without being opened again, the worker lets go of the device.
    std::chrono::milliseconds releaseAfterClose{10000};
};

// The defaults with the changes "name=milliseconds,..." makes (names: caller_spin, caller_wait,
// prefetch_lead, poll_interval, poll_lead, stale_after, first_reading_wait, command_wait, command_deadline,
// command_retry, release_after_close); unknown names and values out of 0..600000 are ignored.
// Tests use it through HALVIC_WORKER_TIMING so that none depends on a race against the wall clock.
WorkerTiming workerTimingFromText(std::string_view text);

// Creates the backend that does the device work; it lives on the worker thread and must end its
// waits when the interrupt is raised.
using BlockingBackendFactory = std::function<std::unique_ptr<Backend>(const Interrupt&)>;

// A backend whose device work happens on its own thread, so that the caller's thread never waits
// for a server or a device: status queries answer from the worker's latest reading, or from the
// caller's own exchange with a device that answers within callerSpin + callerWait; UPS-off
// commands are handed to the worker and answered when it has the result within commandWait.
// Whatever the device work throws is logged and taken as no answer.
class ThreadedBackend : public Backend
{
public:
    explicit ThreadedBackend(BlockingBackendFactory factory, WorkerTiming timing = {});
    // Stops the worker, after the UPS-off command it still has to send, if any, until that
    // command's deadline. A worker stuck in a call that no interrupt ends is left to finish
    // alone: it touches only the state it shares by ownership and the log, which outlives it.
    ~ThreadedBackend() override;
    ThreadedBackend(const ThreadedBackend&) = delete;
    ThreadedBackend& operator=(const ThreadedBackend&) = delete;

    std::optional<UpsReading> readStatus() override;
    bool switchOff() override;
    OffReply requestSwitchOff() override;
    void suspend() override;
    void resume() override;

private:
    struct Shared;

    // The status query's own exchange with an idle device, on the caller's thread.
    static Progress askDevice(Shared& shared, std::unique_lock<std::mutex>& lock);
    static void work(const std::shared_ptr<Shared>& shared, const BlockingBackendFactory& factory);
    static void serve(Shared& shared, const BlockingBackendFactory& factory);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace halvic
