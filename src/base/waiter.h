#pragma once

#include <functional>

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
