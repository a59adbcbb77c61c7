#pragma once
// A periodic timer that, like the window's timer control, fires only while it is enabled and its
// interval is above 0. A Qt timer at interval 0 would fire without pause instead.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class Timer : public QObject
{
    Q_OBJECT
public:
    explicit Timer(QObject *parent = nullptr);

    void setEnabled(bool enabled);
    bool Enabled() const { return m_enabled; }
    void setInterval(int ms);
    int Interval() const { return m_interval; }
    bool isRunning() const { return m_timer.isActive(); }

signals:
    void Tick();

private:
    void update();
    void onTimeout();

    QTimer m_timer;
    QElapsedTimer m_sinceTick; // invalid until the first tick of a period
    bool m_enabled = true;
    int m_interval = 0;
};
