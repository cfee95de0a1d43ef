#include "realtime/ReloadCoalescer.h"

ReloadCoalescer::ReloadCoalescer(std::function<void()> start, int minIntervalMs, QObject* parent)
    : QObject(parent)
    , m_start(std::move(start))
    , m_minIntervalMs(minIntervalMs)
{
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, [this] {
        if (m_pending && !m_inFlight)
            launch();
    });
}

void ReloadCoalescer::request()
{
    if (m_inFlight) {
        m_pending = true;
        return;
    }
    const qint64 wait = m_lastStart.isValid() ? m_minIntervalMs - m_lastStart.elapsed() : 0;
    if (wait <= 0) {
        launch();
        return;
    }
    m_pending = true;
    if (!m_delay.isActive())
        m_delay.start(int(wait));
}

void ReloadCoalescer::finished()
{
    m_inFlight = false;
    if (!m_pending)
        return;
    m_pending = false;
    request();
}

void ReloadCoalescer::launch()
{
    m_pending = false;
    m_inFlight = true;
    m_lastStart.restart();
    m_start();
}
