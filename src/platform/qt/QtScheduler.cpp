#include "platform/qt/QtScheduler.h"

#include <QTimer>

namespace brevant {
namespace {

class QtTimer final : public Timer
{
public:
    QtTimer(int intervalMs, std::function<void()> onTimeout, TimerPrecision precision)
    {
        m_timer.setInterval(intervalMs);
        m_timer.setTimerType(precision == TimerPrecision::Coarse ? Qt::CoarseTimer : Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(onTimeout));
    }
    void start() override
    {
        if (!m_timer.isActive())
            m_timer.start();
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    int interval() const override { return m_timer.interval(); }

private:
    QTimer m_timer;
};

} // namespace

QtScheduler::QtScheduler()
{
    m_clock.start();
}

std::unique_ptr<Timer> QtScheduler::createTimer(int intervalMs, std::function<void()> onTimeout,
                                                TimerPrecision precision)
{
    return std::make_unique<QtTimer>(intervalMs, std::move(onTimeout), precision);
}

qint64 QtScheduler::nowMs() const
{
    return m_clock.elapsed();
}

} // namespace brevant
