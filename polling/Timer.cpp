#include "polling/Timer.h"

Timer::Timer(QObject *parent) : QObject(parent)
{
    // Precise, so ticks keep their interval instead of drifting by a few percent.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Timer::Tick);
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
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval); // restarts the period, as a new interval does
    else
        m_timer.stop();
}
