#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Keeps a reload that many events ask for down to a few requests: a request
// while one is in flight (or sooner than the minimum interval after the last
// start) is remembered, and leads to exactly one more reload once the reply is
// in and the interval has passed. So a flood costs at most one request per
// interval, and the last state always gets loaded.
class ReloadCoalescer : public QObject
{
    Q_OBJECT

public:
    ReloadCoalescer(std::function<void()> start, int minIntervalMs, QObject* parent);

    void request();
    // The reply of the running reload was handled (on every path).
    void finished();

    bool inFlight() const { return m_inFlight; }
    bool pending() const { return m_pending; }

private:
    void launch();

    std::function<void()> m_start;
    int m_minIntervalMs;
    QTimer m_delay;
    QElapsedTimer m_lastStart;
    bool m_inFlight = false;
    bool m_pending = false;
};
