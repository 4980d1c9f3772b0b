#include "gatewaylist/batchrunner.h"

#include "base/waiter.h"
#include "base/workerpool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>

namespace {

constexpr int MostJobs = 64;

class BlockingWaiter final : public Waiter {
public:
    void waitUntil(const std::function<bool()>& ready) override
    {
        std::unique_lock lock(m_mutex);
        m_woken.wait(lock, [&] { return ready(); });
    }
    void wake() override
    {
        // Taking the lock orders the wake after a waiter's last look at ready().
        { const std::lock_guard lock(m_mutex); }
        m_woken.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
};

bool stopped(const std::atomic<bool>* stop)
{
    return stop != nullptr && stop->load();
}

std::size_t poolSize(int jobs, std::size_t rows)
{
    return std::min(static_cast<std::size_t>(std::clamp(jobs, 1, MostJobs)),
                    std::max<std::size_t>(rows, 1));
}

// A worker's exception must not end the program: the row fails with its text instead.
void guarded(std::size_t row, const std::function<void(std::size_t)>& work,
             const std::function<void(std::size_t, const std::string&)>& failed)
{
    std::optional<std::string> why;
    try {
        work(row);
    } catch (const std::exception& e) {
        why = std::string("internal error: ") + e.what();
    } catch (...) {
        why = "internal error";
    }
    if (why && failed)
        failed(row, *why);
}

}  // namespace

void runRows(const std::vector<std::size_t>& rows, int jobs, const std::atomic<bool>* stop,
             Waiter* waiter, const RowSteps& steps)
{
    BlockingWaiter blocking;
    Waiter& waiting = waiter != nullptr ? *waiter : blocking;
    const std::size_t most = poolSize(jobs, rows.size());

    std::mutex mutex;
    std::deque<std::size_t> ended;  // guarded by mutex
    std::size_t running = 0;
    std::size_t next = 0;
    // Declared last: its destructor joins the threads before what they use goes.
    WorkerPool pool(most);
    while (true) {
        while (running < most && next < rows.size() && !stopped(stop)
               && (!steps.mayStart || steps.mayStart(next))) {
            const std::size_t row = rows[next++];
            steps.begin(row);
            ++running;
            pool.post([&, row] {
                guarded(row, steps.work, steps.failed);
                {
                    const std::lock_guard lock(mutex);
                    ended.push_back(row);
                }
                waiting.wake();
            });
        }
        if (running == 0)
            break;
        waiting.waitUntil([&] {
            const std::lock_guard lock(mutex);
            return !ended.empty();
        });
        std::deque<std::size_t> taken;
        {
            const std::lock_guard lock(mutex);
            taken.swap(ended);
        }
        for (std::size_t row : taken) {
            --running;
            steps.end(row);
        }
    }
}
