#include "voice/GstVoiceWorker.h"

#include <QCoreApplication>

GstVoiceWorker::GstVoiceWorker()
    : m_thread([this] { run(); })
{
    if (QCoreApplication::instance())
        qAddPostRoutine(&GstVoiceWorker::waitUntilIdle);
}

GstVoiceWorker& GstVoiceWorker::instance()
{
    // Never destroyed: its thread serves until the process ends.
    static GstVoiceWorker* worker = new GstVoiceWorker;
    return *worker;
}

void GstVoiceWorker::post(std::function<void()> task)
{
    GstVoiceWorker& worker = instance();
    {
        std::lock_guard<std::mutex> lock(worker.m_mutex);
        worker.m_tasks.push_back(std::move(task));
    }
    worker.m_wake.notify_one();
}

void GstVoiceWorker::waitUntilIdle()
{
    GstVoiceWorker& worker = instance();
    std::unique_lock<std::mutex> lock(worker.m_mutex);
    worker.m_idle.wait(lock, [&worker] { return worker.m_tasks.empty() && !worker.m_busy; });
}

void GstVoiceWorker::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_tasks.empty(); });
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        m_busy = true;
        lock.unlock();
        task();
        task = nullptr; // what it held goes here, on this thread
        lock.lock();
        m_busy = false;
        if (m_tasks.empty())
            m_idle.notify_all();
    }
}
