#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// At most a fixed number of threads, each started only when a task finds no idle one, running
// the tasks in the order they were posted. The destructor lets every posted task end and joins
// every thread, so nothing outlives the pool. A task must not throw.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t maxThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void post(std::function<void()> task);
    // Threads started so far.
    std::size_t threads() const;

private:
    void serve();

    const std::size_t m_maxThreads;
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_tasks;  // guarded by m_mutex
    std::size_t m_idle = 0;                     // guarded by m_mutex
    bool m_closing = false;                     // guarded by m_mutex
    std::vector<std::thread> m_threads;         // changed only by post and the destructor
};
