#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <utility>

// How a thread waits for work it handed to other threads. A window keeps its event loop
// running meanwhile; the command-line tool simply blocks.
class Waiter {
public:
    virtual ~Waiter() = default;
    // Returns once ready() holds; ready() is asked again after every wake().
    virtual void waitUntil(const std::function<bool()>& ready) = 0;
    // Called from the working threads whenever ready() may have changed.
    virtual void wake() = 0;
};

// Runs work on a thread of its own while waiter waits, and gives back what it returned.
template <typename Work>
auto runAside(Waiter& waiter, Work work) -> decltype(work())
{
    using Result = decltype(work());
    std::mutex mutex;
    bool done = false;  // guarded by mutex
    Result result{};
    std::thread worker([&] {
        Result value = work();
        {
            const std::lock_guard lock(mutex);
            result = std::move(value);
            done = true;
        }
        waiter.wake();
    });
    waiter.waitUntil([&] {
        const std::lock_guard lock(mutex);
        return done;
    });
    worker.join();
    return result;
}
