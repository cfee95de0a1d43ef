#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// The thread on which the voice connections do their GStreamer work, one task
// after another in the order given: building pipelines, negotiating, tearing
// down. Whoever posts never waits for it, so a flood of signalling costs the
// GUI thread nothing but the posting. It lives as long as the program; the
// work still queued when the application ends is finished first.
class GstVoiceWorker
{
public:
    static void post(std::function<void()> task);
    // Returns once every task posted before has run.
    static void waitUntilIdle();

private:
    GstVoiceWorker();
    static GstVoiceWorker& instance();
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_tasks;
    bool m_busy = false;
    std::thread m_thread;
};
