#include "polling/Timer.h"

Timer::Timer(QObject *parent) : QObject(parent)
{
    // Precise, so ticks keep their interval instead of drifting by a few percent.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Timer::onTimeout);
}

void Timer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    update();
}

void Timer::setInterval(int ms)
{
    m_interval = ms;
    update();
}

void Timer::update()
{
    m_sinceTick.invalidate();
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval); // restarts the period, as a new interval does
    else
        m_timer.stop();
}

void Timer::onTimeout()
{
    // After a stall Qt keeps the schedule and fires the next tick soon after the late one; on a
    // half-duplex line that request would go out into the answer to the one before. Skipped instead.
    if (m_sinceTick.isValid() && m_sinceTick.elapsed() < m_interval / 2)
        return;
    m_sinceTick.start();
    emit Tick();
}
