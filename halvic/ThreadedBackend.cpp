#include "ThreadedBackend.h"

#include "Log.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace halvic {

namespace {

// How long stopping waits for the worker before leaving it to end by itself.
constexpr std::chrono::milliseconds StopWait{100};

} // namespace

struct ThreadedBackend::Shared
{
    explicit Shared(WorkerTiming workerTiming)
        : timing(workerTiming)
    {}

    const WorkerTiming timing;
    Interrupt interrupt;
    std::mutex mutex;
    std::condition_variable wakeWorker;
    std::condition_variable news;
    bool stopping = false;
    bool finished = false;

    std::optional<UpsReading> reading;
    Clock::time_point readingTime;
    // Polls finished since the worker last took hold of the device.
    uint64_t readings = 0;
    // Only the first status query after an open waits for the first reading.
    bool firstReadingAwaited = false;

    // At most one UPS-off command waits; calls that come while it waits share its answer.
    uint64_t commandsAsked = 0;
    uint64_t commandsDone = 0;
    bool lastCommandAccepted = false;
    Deadline commandDeadline;

    std::optional<Clock::time_point> closedSince;
};

ThreadedBackend::ThreadedBackend(BlockingBackendFactory factory, WorkerTiming timing)
    : m_shared(std::make_shared<Shared>(timing))
    , m_thread([shared = m_shared, factory = std::move(factory)] { work(shared, factory); })
{}

ThreadedBackend::~ThreadedBackend()
{
    std::unique_lock lock(m_shared->mutex);
    // A UPS-off command still waiting is the one thing worth holding the exit of the program for.
    m_shared->news.wait_until(lock, m_shared->commandDeadline,
                              [this] { return m_shared->commandsDone == m_shared->commandsAsked; });
    if (m_shared->commandsDone != m_shared->commandsAsked)
        logOnce("worker", "closing with a UPS-off command the UPS never took");
    m_shared->stopping = true;
    m_shared->interrupt.raise();
    m_shared->wakeWorker.notify_all();
    const bool finished = m_shared->news.wait_for(lock, StopWait, [this] { return m_shared->finished; });
    lock.unlock();
    if (finished) {
        m_thread.join();
    } else {
        logOnce("worker", "the device did not let go of the worker thread in time; it ends on its own");
        m_thread.detach();
    }
}

std::optional<UpsReading> ThreadedBackend::readStatus()
{
    Shared& shared = *m_shared;
    std::unique_lock lock(shared.mutex);
    if (shared.readings == 0 && !shared.firstReadingAwaited) {
        shared.firstReadingAwaited = true;
        shared.news.wait_for(lock, shared.timing.firstReadingWait, [&] { return shared.readings > 0; });
    }
    if (shared.reading && Clock::now() - shared.readingTime <= shared.timing.staleAfter)
        return shared.reading;
    return std::nullopt;
}

bool ThreadedBackend::switchOff()
{
    Shared& shared = *m_shared;
    std::unique_lock lock(shared.mutex);
    if (shared.commandsAsked == shared.commandsDone) {
        ++shared.commandsAsked;
        shared.commandDeadline = Clock::now() + shared.timing.commandDeadline;
        shared.wakeWorker.notify_all();
    }
    const uint64_t command = shared.commandsAsked;
    const bool done =
        shared.news.wait_for(lock, shared.timing.commandWait, [&] { return shared.commandsDone >= command; });
    return done && shared.lastCommandAccepted;
}

void ThreadedBackend::suspend()
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->closedSince = Clock::now();
}

void ThreadedBackend::resume()
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->closedSince.reset();
    m_shared->firstReadingAwaited = false;
    m_shared->wakeWorker.notify_all();
}

void ThreadedBackend::work(const std::shared_ptr<Shared>& sharedState, const BlockingBackendFactory& factory)
{
    Shared& shared = *sharedState;
    const WorkerTiming& timing = shared.timing;
    std::unique_ptr<Backend> device;
    Deadline nextPoll = Clock::now();
    std::unique_lock lock(shared.mutex);
    while (!shared.stopping) {
        const auto now = Clock::now();
        const bool commandWaiting = shared.commandsAsked > shared.commandsDone;
        const bool released = shared.closedSince && now - *shared.closedSince >= timing.releaseAfterClose;
        if (released && device) {
            lock.unlock();
            device.reset();
            lock.lock();
            shared.reading.reset();
            shared.readings = 0;
            continue;
        }
        if (!commandWaiting && (released || now < nextPoll)) {
            if (released)
                shared.wakeWorker.wait(lock);
            else
                shared.wakeWorker.wait_until(lock, nextPoll);
            continue;
        }
        const bool expired = commandWaiting && now > shared.commandDeadline;
        const uint64_t command = shared.commandsAsked;
        lock.unlock();
        if (!device)
            device = factory(shared.interrupt);
        if (commandWaiting) {
            const bool accepted = !expired && device->switchOff();
            if (expired)
                logOnce("worker", "a UPS-off command was dropped: the UPS could not be reached in time");
            lock.lock();
            shared.commandsDone = command;
            shared.lastCommandAccepted = accepted;
        } else {
            const auto reading = device->readStatus();
            lock.lock();
            shared.reading = reading;
            shared.readingTime = Clock::now();
            ++shared.readings;
            nextPoll = shared.readingTime + timing.pollInterval;
        }
        shared.news.notify_all();
    }
    lock.unlock();
    device.reset();
    lock.lock();
    shared.finished = true;
    shared.news.notify_all();
}

} // namespace halvic
