#include "base/workerpool.h"

#include <algorithm>

WorkerPool::WorkerPool(std::size_t maxThreads) : m_maxThreads(std::max<std::size_t>(1, maxThreads))
{
}

WorkerPool::~WorkerPool()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_posted.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void WorkerPool::post(std::function<void()> task)
{
    bool startThread = false;
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        startThread = m_tasks.size() > m_idle && m_threads.size() < m_maxThreads;
        if (startThread)
            m_threads.emplace_back([this] { serve(); });
    }
    if (!startThread)
        m_posted.notify_one();
}

std::size_t WorkerPool::threads() const
{
    const std::lock_guard lock(m_mutex);
    return m_threads.size();
}

void WorkerPool::serve()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_posted.wait(lock, [this] { return m_closing || !m_tasks.empty(); });
        --m_idle;
        if (m_tasks.empty())
            return;
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}
