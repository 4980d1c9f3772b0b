#pragma once

#include <functional>

// How a thread waits for work it handed to other threads; without one given, the batches'
// starting thread simply blocks.
class Waiter {
public:
    virtual ~Waiter() = default;
    // Returns once ready() holds; ready() is asked again after every wake().
    virtual void waitUntil(const std::function<bool()>& ready) = 0;
    // Called from the working threads whenever ready() may have changed.
    virtual void wake() = 0;
};
