#include "ThreadedBackend.h"

#include "Log.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <condition_variable>
#include <mutex>
#include <string>

namespace halvic {

namespace {

using std::chrono::milliseconds;

// How long stopping waits for the worker before leaving it to end by itself.
constexpr milliseconds StopWait{100};
// Status queries closer together than this are no rhythm to follow (a test's busy loop).
constexpr milliseconds ShortestRhythm{200};
// How late a query may come and still take the answer asked ahead for it.
constexpr milliseconds LateQuery{50};

// Runs one piece of device work; whatever it throws is logged once and ends as `failed`.
template <typename Result, typename Work>
Result guarded(Work work, Result failed, bool& threw) noexcept
{
    threw = true;
    try {
        Result result = work();
        threw = false;
        return result;
    } catch (const std::exception& error) {
        logOnce("worker", std::string("the device work failed, taken as no answer: ") + error.what());
    } catch (...) {
        logOnce("worker", "the device work failed with an unknown error, taken as no answer");
    }
    return failed;
}

} // namespace

WorkerTiming workerTimingFromText(std::string_view text)
{
    WorkerTiming timing;
    const std::array<std::pair<std::string_view, milliseconds WorkerTiming::*>, 11> names{{
        {"caller_spin", &WorkerTiming::callerSpin},
        {"caller_wait", &WorkerTiming::callerWait},
        {"prefetch_lead", &WorkerTiming::prefetchLead},
        {"poll_interval", &WorkerTiming::pollInterval},
        {"poll_lead", &WorkerTiming::pollLead},
        {"stale_after", &WorkerTiming::staleAfter},
        {"first_reading_wait", &WorkerTiming::firstReadingWait},
        {"command_wait", &WorkerTiming::commandWait},
        {"command_deadline", &WorkerTiming::commandDeadline},
        {"command_retry", &WorkerTiming::commandRetry},
        {"release_after_close", &WorkerTiming::releaseAfterClose},
    }};
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const auto equals = item.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view value = item.substr(equals + 1);
        int ms = -1;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), ms);
        const auto name =
            std::ranges::find(names, item.substr(0, equals), &decltype(names)::value_type::first);
        if (error == std::errc() && end == value.data() + value.size() && ms >= 0 && ms <= 600000 &&
            name != names.end())
            timing.*(name->second) = milliseconds(ms);
    }
    return timing;
}

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
    // The caller's status queries: the worker asks the UPS just before the next one is due.
    std::optional<Clock::time_point> lastQuery;
    std::optional<Clock::duration> queryRhythm;

    // At most one UPS-off command waits; calls that come while it waits share its answer.
    uint64_t commandsAsked = 0;
    uint64_t commandsDone = 0;
    OffReply lastReply = OffReply::NoAnswer;
    // A reply that came after every caller had stopped waiting for it goes to the next call, if
    // that call comes before the deadline: a command is not sent twice for want of a reader.
    bool lastReplyUnread = false;
    Clock::time_point lastReplyTime;
    bool commandInFlight = false;
    bool commandUnderWay = false;
    Deadline commandDeadline;
    Deadline nextCommandTry;

    std::optional<Clock::time_point> closedSince;

    // The device the worker holds. The caller's thread uses it for its own status exchange only
    // while neither thread is using it (deviceBusy), and only between the worker's device work.
    Backend* device = nullptr;
    bool deviceBusy = false;
    bool workerAwaitsDevice = false;
    // The caller's status queries ask the device themselves: the worker keeps no poll timer.
    bool callerAsks = false;
    // The caller's exchange was not answered in its bound: the worker reads the rest.
    bool exchangeHandedOver = false;
    // A caller's exchange was handed over (a distant or busy server): the worker asks again, just
    // before each query, until one of its own exchanges is quick enough for the caller.
    bool answersLate = false;
    // The caller found the device failing: the worker opens it again and asks at once.
    bool pollNow = false;
    bool deviceThrew = false;

    bool readingFresh(Clock::time_point now) const
    {
        return reading && now - readingTime <= timing.staleAfter;
    }

    // Just before the next status query the rhythm promises, else after the poll interval.
    Deadline nextPoll(Clock::duration lastPollTook) const
    {
        if (!queryRhythm || !lastQuery)
            return readingTime + timing.pollInterval;
        const Clock::duration rhythm = *queryRhythm;
        const Clock::duration lead = std::min<Clock::duration>(lastPollTook + timing.pollLead, rhythm / 2);
        const auto periods = (readingTime + lead - *lastQuery) / rhythm + 1;
        return *lastQuery + periods * rhythm - lead;
    }
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
    const auto now = Clock::now();
    if (shared.lastQuery) {
        const auto interval = now - *shared.lastQuery;
        const bool steady = interval >= ShortestRhythm && interval <= shared.timing.staleAfter / 2;
        shared.queryRhythm = steady ? std::optional(interval) : std::nullopt;
    }
    shared.lastQuery = now;
    const bool deviceIdle = shared.device && !shared.deviceBusy && !shared.exchangeHandedOver &&
                            shared.commandsAsked == shared.commandsDone && !shared.closedSince;
    if (deviceIdle && !shared.answersLate && shared.device->readyToStartStatus()) {
        const uint64_t readingsBefore = shared.readings;
        const Progress progress = askDevice(shared, lock);
        if (progress == Progress::Done)
            return shared.reading;
        if (progress == Progress::Failed) {
            shared.news.wait_for(lock, shared.timing.firstReadingWait,
                                 [&] { return shared.readings > readingsBefore; });
        }
    } else if (shared.readings == 0 && !shared.firstReadingAwaited) {
        shared.firstReadingAwaited = true;
        shared.news.wait_for(lock, shared.timing.firstReadingWait, [&] { return shared.readings > 0; });
    }
    return shared.readingFresh(Clock::now()) ? shared.reading : std::nullopt;
}

Progress ThreadedBackend::askDevice(Shared& shared, std::unique_lock<std::mutex>& lock)
{
    Backend& device = *shared.device;
    shared.deviceBusy = true;
    const auto rhythm = shared.queryRhythm;
    const Clock::time_point queried = shared.lastQuery.value_or(Clock::now());
    const Clock::duration lead = shared.timing.prefetchLead;
    lock.unlock();
    const Deadline spinUntil = Clock::now() + shared.timing.callerSpin;
    const Deadline waitUntil = spinUntil + shared.timing.callerWait;
    std::optional<UpsReading> reading;
    bool threw = false;
    const Progress progress = guarded(
        [&] {
            const Progress asked = device.startStatus(waitUntil)
                                       ? device.continueStatus(spinUntil, waitUntil, reading)
                                       : Progress::Failed;
            if (asked == Progress::Done && rhythm && lead > Clock::duration::zero())
                device.prefetchStatus(queried + *rhythm - lead, *rhythm, lead + LateQuery);
            return asked;
        },
        Progress::Failed, threw);
    lock.lock();
    shared.deviceBusy = false;
    shared.callerAsks = progress != Progress::Failed;
    if (progress == Progress::Done) {
        shared.reading = reading;
        shared.readingTime = Clock::now();
        ++shared.readings;
    }
    shared.exchangeHandedOver = progress == Progress::Pending;
    shared.pollNow = progress == Progress::Failed;
    shared.deviceThrew = threw;
    // Only news for the worker wakes it: a quick answer costs its thread nothing.
    if (progress != Progress::Done || shared.workerAwaitsDevice)
        shared.wakeWorker.notify_all();
    return progress;
}

bool ThreadedBackend::switchOff()
{
    return requestSwitchOff() == OffReply::Accepted;
}

OffReply ThreadedBackend::requestSwitchOff()
{
    Shared& shared = *m_shared;
    std::unique_lock lock(shared.mutex);
    const bool idle = shared.commandsAsked == shared.commandsDone;
    if (idle && shared.lastReplyUnread &&
        Clock::now() - shared.lastReplyTime <= shared.timing.commandDeadline) {
        shared.lastReplyUnread = false;
        return shared.lastReply;
    }
    if (idle) {
        ++shared.commandsAsked;
        shared.commandUnderWay = false;
        shared.commandDeadline = Clock::now() + shared.timing.commandDeadline;
        shared.nextCommandTry = Clock::now();
        shared.wakeWorker.notify_all();
    }
    const uint64_t command = shared.commandsAsked;
    const bool done = shared.news.wait_for(lock, shared.timing.commandWait, [&] {
        return shared.commandsDone >= command || shared.commandUnderWay;
    });
    if (done && shared.commandsDone >= command) {
        shared.lastReplyUnread = false;
        return shared.lastReply;
    }
    // A command on its way to a UPS that answers is under way; one that waits for a silent or
    // stuck device is not answered.
    const bool onItsWay = shared.commandInFlight && shared.readingFresh(Clock::now());
    return shared.commandUnderWay || onItsWay ? OffReply::UnderWay : OffReply::NoAnswer;
}

void ThreadedBackend::suspend()
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->closedSince = Clock::now();
    // A worker without a poll timer sets the one that lets go of the device.
    m_shared->wakeWorker.notify_all();
}

void ThreadedBackend::resume()
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->closedSince.reset();
    m_shared->firstReadingAwaited = false;
    m_shared->lastQuery.reset();
    m_shared->queryRhythm.reset();
    m_shared->wakeWorker.notify_all();
}

void ThreadedBackend::work(const std::shared_ptr<Shared>& sharedState, const BlockingBackendFactory& factory)
{
    Shared& shared = *sharedState;
    try {
        serve(shared, factory);
    } catch (...) {
        // Only the worker's own bookkeeping gets here (a lock that fails): without a worker every
        // call is answered "no answer".
        logOnce("worker", "the worker thread failed and stopped; the UPS is no longer asked");
    }
    const std::lock_guard lock(shared.mutex);
    shared.finished = true;
    shared.device = nullptr;
    shared.reading.reset();
    shared.commandsDone = shared.commandsAsked;
    shared.lastReply = OffReply::NoAnswer;
    shared.news.notify_all();
}

void ThreadedBackend::serve(Shared& shared, const BlockingBackendFactory& factory)
{
    const WorkerTiming& timing = shared.timing;
    std::unique_ptr<Backend> device;
    bool threw = false;
    const auto letGo = [&] { device.reset(); };
    const auto openDevice = [&] {
        if (!device)
            device = factory(shared.interrupt);
        return device != nullptr;
    };
    Deadline nextPoll = Clock::now();
    std::unique_lock lock(shared.mutex);
    // Device work with the device to itself: a status exchange of the caller ends within its
    // bound first.
    const auto withDevice = [&](const auto& work) {
        shared.workerAwaitsDevice = true;
        shared.wakeWorker.wait(lock, [&] { return !shared.deviceBusy; });
        shared.workerAwaitsDevice = false;
        shared.deviceBusy = true;
        lock.unlock();
        work();
        lock.lock();
        shared.deviceBusy = false;
        shared.device = device.get();
        shared.callerAsks = shared.callerAsks && device;
    };
    const auto keepReading = [&](const std::optional<UpsReading>& reading, Clock::time_point askedAt) {
        shared.reading = reading;
        shared.readingTime = Clock::now();
        ++shared.readings;
        const Clock::duration took = shared.readingTime - askedAt;
        nextPoll = shared.nextPoll(took);
        return took;
    };
    while (!shared.stopping) {
        const auto now = Clock::now();
        const bool commandWaiting = shared.commandsAsked > shared.commandsDone;
        const bool commandDue = commandWaiting && now >= shared.nextCommandTry;
        const bool released = shared.closedSince && now - *shared.closedSince >= timing.releaseAfterClose;
        // While a UPS-off command waits the caller does not ask the device: the worker does.
        const bool workerPolls = !shared.callerAsks || commandWaiting;
        if (shared.deviceThrew) {
            shared.deviceThrew = false;
            withDevice(letGo);
            continue;
        }
        if (shared.exchangeHandedOver) {
            std::optional<UpsReading> reading;
            withDevice([&] {
                // Within the exchange's own reply time-out (NutConnection's bound).
                const auto finish = [&] {
                    return device->continueStatus(Clock::now(), Deadline::max(), reading);
                };
                if (device)
                    guarded(finish, Progress::Failed, threw);
                if (threw)
                    letGo();
            });
            shared.exchangeHandedOver = false;
            shared.answersLate = true;
            shared.callerAsks = false;
            keepReading(reading, now);
            shared.news.notify_all();
            continue;
        }
        if (released && device) {
            withDevice(letGo);
            shared.reading.reset();
            shared.readings = 0;
            continue;
        }
        const bool pollDue = shared.pollNow || (workerPolls && now >= nextPoll);
        if (!commandDue && (released || !pollDue)) {
            Deadline wake = Deadline::max();
            if (!released && workerPolls)
                wake = nextPoll;
            if (commandWaiting)
                wake = std::min(wake, shared.nextCommandTry);
            if (shared.closedSince && !released)
                wake = std::min(wake, *shared.closedSince + timing.releaseAfterClose);
            if (wake == Deadline::max())
                shared.wakeWorker.wait(lock);
            else
                shared.wakeWorker.wait_until(lock, wake);
            continue;
        }
        if (commandDue) {
            const bool expired = now > shared.commandDeadline;
            const uint64_t command = shared.commandsAsked;
            shared.commandInFlight = true;
            OffReply reply = OffReply::NoAnswer;
            withDevice([&] {
                if (expired)
                    logOnce("worker", "a UPS-off command was dropped: the UPS could not be reached in time");
                else
                    reply = guarded(
                        [&] { return openDevice() ? device->requestSwitchOff() : OffReply::NoAnswer; },
                        OffReply::NoAnswer, threw);
                if (threw)
                    letGo();
            });
            shared.commandInFlight = false;
            if (reply == OffReply::UnderWay) {
                shared.commandUnderWay = true;
                shared.commandDeadline = Clock::now() + timing.commandDeadline;
                shared.nextCommandTry = Clock::now() + timing.commandRetry;
            } else {
                shared.commandsDone = command;
                shared.lastReply = reply;
                shared.lastReplyUnread = true;
                shared.lastReplyTime = Clock::now();
                shared.commandUnderWay = false;
            }
        } else {
            shared.pollNow = false;
            std::optional<UpsReading> reading;
            withDevice([&] {
                reading = guarded([&] { return openDevice() ? device->readStatus() : std::nullopt; },
                                  std::optional<UpsReading>(), threw);
                if (threw)
                    letGo();
            });
            const Clock::duration took = keepReading(reading, now);
            // Well within the caller's bound, the caller may ask again.
            shared.answersLate = shared.answersLate && took >= (timing.callerSpin + timing.callerWait) / 2;
        }
        shared.news.notify_all();
    }
    shared.device = nullptr;
    lock.unlock();
    letGo();
}

} // namespace halvic
