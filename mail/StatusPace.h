#pragma once

#include <QElapsedTimer>

// How often a flow's progress reaches the status line: the first time, then
// at most every IntervalMs. A person reads no more than that, and each new
// text costs the window a measuring of the caption and a paint.
class StatusPace
{
public:
    static constexpr qint64 IntervalMs = 40;

    bool due()
    {
        if (m_clock.isValid() && m_clock.elapsed() < IntervalMs)
            return false;
        m_clock.start();
        return true;
    }
    void restart() { m_clock.invalidate(); }

private:
    QElapsedTimer m_clock;
};
