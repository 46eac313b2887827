#include "monitor/StatusDisplay.h"

#include "platform/Scheduler.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace brevant {

// The four animation timers, which can stop as a group and go on as if they had run. While
// paused, each timer's next firing is kept and the firings that fell due are run in the order
// the scheduler would have run them: by due time, then by the moment the timer was armed.
class StatusDisplay::AnimationClock
{
public:
    explicit AnimationClock(Scheduler& scheduler)
        : m_scheduler(scheduler)
    {}

    int add(int intervalMs, std::function<void()> onTimeout)
    {
        auto entry = std::make_unique<Entry>();
        Entry* timer = entry.get();
        timer->interval = intervalMs;
        timer->onTimeout = std::move(onTimeout);
        // Pictures need no precision: the system may bundle their wake-ups with others.
        timer->real = m_scheduler.createTimer(
            intervalMs, [this, timer] { fire(*timer); }, TimerPrecision::Coarse);
        m_timers.push_back(std::move(entry));
        return int(m_timers.size()) - 1;
    }

    void start(int id)
    {
        Entry& timer = *m_timers[size_t(id)];
        if (timer.active)
            return;
        timer.active = true;
        arm(timer, now() + timer.interval);
        if (!m_paused)
            timer.real->start();
    }

    void stop(int id)
    {
        Entry& timer = *m_timers[size_t(id)];
        timer.active = false;
        timer.real->stop();
        if (timer.aligner)
            timer.aligner->stop();
    }

    bool isActive(int id) const { return m_timers[size_t(id)]->active; }
    bool isPaused() const { return m_paused; }

    void pause()
    {
        if (m_paused)
            return;
        m_paused = true;
        for (const auto& timer : m_timers) {
            timer->real->stop();
            if (timer->aligner)
                timer->aligner->stop();
        }
    }

    void resume()
    {
        if (!m_paused)
            return;
        catchUp(Due::UpToNow);
        m_paused = false;
        std::vector<Entry*> running;
        for (const auto& timer : m_timers) {
            if (timer->active)
                running.push_back(timer.get());
        }
        // Armed again in their old order, so that timers due together keep firing in it.
        std::sort(running.begin(), running.end(), [](Entry* a, Entry* b) { return a->armedAs < b->armedAs; });
        for (Entry* timer : running) {
            const qint64 wait = timer->nextDue - m_scheduler.nowMs();
            if (wait >= timer->interval) {
                timer->real->start();
                continue;
            }
            // The first firing comes after the rest of the interval, then the timer's own rhythm.
            timer->aligner = m_scheduler.createTimer(
                int(std::max<qint64>(wait, 1)),
                [this, timer] {
                    timer->aligner->stop();
                    timer->real->start();
                    fire(*timer);
                },
                TimerPrecision::Coarse);
            timer->aligner->start();
        }
    }

    enum class Due
    {
        BeforeNow, // an operation from outside: the poll was armed before any picture timer due now
        UpToNow,
    };

    // Runs what fell due while paused.
    void catchUp(Due due)
    {
        if (!m_paused || m_replayTime)
            return;
        const qint64 until = m_scheduler.nowMs();
        for (;;) {
            Entry* next = nullptr;
            for (const auto& timer : m_timers) {
                if (timer->active && (!next || std::pair(timer->nextDue, timer->armedAs) <
                                                   std::pair(next->nextDue, next->armedAs)))
                    next = timer.get();
            }
            if (!next || next->nextDue > until || (due == Due::BeforeNow && next->nextDue == until))
                break;
            m_replayTime = next->nextDue;
            fire(*next);
        }
        m_replayTime.reset();
    }

private:
    struct Entry
    {
        int interval = 0;
        std::function<void()> onTimeout;
        std::unique_ptr<Timer> real;
        std::unique_ptr<Timer> aligner; // the first, shortened interval after a resume
        bool active = false;
        qint64 nextDue = 0;
        quint64 armedAs = 0;
    };

    qint64 now() const { return m_replayTime.value_or(m_scheduler.nowMs()); }

    void arm(Entry& timer, qint64 due)
    {
        timer.nextDue = due;
        timer.armedAs = m_armCounter++;
    }

    // Armed again before the step runs, so that a stop inside the step ends the timer and a start
    // keeps its phase.
    void fire(Entry& timer)
    {
        arm(timer, timer.nextDue + timer.interval);
        timer.onTimeout();
    }

    Scheduler& m_scheduler;
    std::vector<std::unique_ptr<Entry>> m_timers;
    bool m_paused = false;
    std::optional<qint64> m_replayTime;
    quint64 m_armCounter = 0;
};

StatusDisplay::StatusDisplay(Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , m_clock(std::make_unique<AnimationClock>(scheduler))
    , m_timer4(m_clock->add(1000, [this] { Timer4_Timer(); }))
    , m_timer5(m_clock->add(1000, [this] { Timer5_Timer(); }))
    , m_timer6(m_clock->add(1000, [this] { Timer6_Timer(); }))
    , m_timer7(m_clock->add(200, [this] { Timer7_Timer(); }))
{
    // The page is laid out showing the resting mains pipe; everything else starts hidden.
    m_visible[Image1] = true;
    m_visible[ImageAC1] = true;
}

StatusDisplay::~StatusDisplay() = default;

QString StatusDisplay::colorName(quint32 rgb)
{
    return u'#' + QStringLiteral("%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper();
}

void StatusDisplay::setVisible(Element element, bool visible)
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    if (m_visible[element] == visible)
        return;
    m_visible[element] = visible;
    emit elementChanged(element, visible);
}

void StatusDisplay::setMessage(const QString& text, quint32 color)
{
    if (m_message == text && m_messageColor == color)
        return;
    m_message = text;
    m_messageColor = color;
    emit messageChanged(m_message, m_messageColor);
}

void StatusDisplay::setMessageText(const QString& text)
{
    setMessage(text, m_messageColor);
}

void StatusDisplay::setShutdownEnabled(bool enabled)
{
    if (m_shutdownEnabled == enabled)
        return;
    m_shutdownEnabled = enabled;
    emit shutdownEnabledChanged(enabled);
}

void StatusDisplay::pauseAnimation()
{
    m_clock->pause();
}

void StatusDisplay::resumeAnimation()
{
    m_clock->resume();
}

bool StatusDisplay::isAnimationPaused() const
{
    return m_clock->isPaused();
}

bool StatusDisplay::isRunning(AnimationTimer timer) const
{
    switch (timer) {
    case Timer4:
        return m_clock->isActive(m_timer4);
    case Timer5:
        return m_clock->isActive(m_timer5);
    case Timer6:
        return m_clock->isActive(m_timer6);
    case Timer7:
        break;
    }
    return m_clock->isActive(m_timer7);
}

void StatusDisplay::AcPipeDisplay(bool usbLinkMode, bool usbConnected)
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    m_clock->stop(m_timer5);
    m_clock->stop(m_timer6);
    setVisible(Image1, true);
    setVisible(ImageAC1, true);
    setVisible(ImageAC2, true);
    if (!usbLinkMode || usbConnected)
        m_clock->start(m_timer4);
}

void StatusDisplay::AcPipeDisable()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    setVisible(Image1, false);
    m_clock->stop(m_timer4);
    setVisible(ImageAC1, false);
    setVisible(ImageAC2, false);
}

void StatusDisplay::DcPipeDisplay()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    setVisible(Image1, false);
    m_clock->stop(m_timer6);
    m_clock->stop(m_timer4);
    setVisible(ImageDC1, true);
    setVisible(ImageDC2, true);
    m_clock->start(m_timer5);
}

void StatusDisplay::DcPipeDisable()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    m_clock->stop(m_timer5);
    setVisible(ImageDC1, false);
    setVisible(ImageDC2, false);
}

void StatusDisplay::LowPipeDisplay()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    setVisible(Image1, false);
    m_clock->stop(m_timer5);
    m_clock->stop(m_timer4);
    setVisible(ImageBL1, true);
    setVisible(ImageBL2, true);
    m_clock->start(m_timer6);
}

void StatusDisplay::LowPipeDisable()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    m_clock->stop(m_timer6);
    setVisible(ImageBL1, false);
    setVisible(ImageBL2, false);
}

void StatusDisplay::showDisconnected()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    for (Element e : {ImageBL1, ImageBL2, ImageDC1, ImageDC2, ImageAC2})
        setVisible(e, false);
    setVisible(ImageAC1, true);
    m_clock->stop(m_timer4);
    m_clock->stop(m_timer5);
    m_clock->stop(m_timer6);
    setShutdownEnabled(false);
    setMessageText(QStringLiteral("UPS Disconnect"));
}

void StatusDisplay::Timer4_Timer()
{
    if (m_visible[ImageAC1]) {
        setVisible(ImageAC1, false);
        setVisible(ImageAC2, true);
        m_clock->start(m_timer7);
    }
    if (!m_visible[ImageAC1] && m_flowCycles == 2) {
        m_flowCycles = 0;
        setVisible(ImageAC1, true);
        m_clock->stop(m_timer7);
        setVisible(ImageAC2, false);
    }
}

void StatusDisplay::Timer5_Timer()
{
    swapPhases(ImageDC1, ImageDC2);
}

void StatusDisplay::Timer6_Timer()
{
    swapPhases(ImageBL1, ImageBL2);
}

void StatusDisplay::swapPhases(Element first, Element second)
{
    const bool firstShown = m_visible[first];
    setVisible(first, !firstShown);
    setVisible(second, firstShown);
}

void StatusDisplay::Timer7_Timer()
{
    // The list's sixth frame is set first and replaced within the same step; only the frame
    // chosen below is ever seen.
    if (m_flowFrame == 0) {
        ++m_flowCycles;
        if (m_flowCycles == 2)
            m_clock->stop(m_timer7);
        m_flowFrame = 6;
    }
    if (m_flowFrame > 6)
        m_flowFrame = 1;
    setFlowPicture(m_flowFrame);
    --m_flowFrame;
}

void StatusDisplay::setFlowPicture(int picture)
{
    if (m_flowPicture == picture)
        return;
    m_flowPicture = picture;
    emit flowPictureChanged(picture);
}

} // namespace brevant
