// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>

#include <chrono>

/// Counts the ticks of a 20 ms timer while it lives: a test that waits on slow
/// work can tell whether the event loop went on handling events meanwhile.
class TimerTicks final
{
public:
    TimerTicks()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { ++m_count; });
        m_timer.start(std::chrono::milliseconds(20));
    }

    int count() const { return m_count; }

private:
    QTimer m_timer;
    int m_count = 0;
};
