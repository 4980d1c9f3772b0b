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

// The rows of a group that workTogether left without an end, one at a time.
void workGroup(const std::vector<std::size_t>& group, const RowSteps& steps,
               const std::function<void(std::size_t)>& ended)
{
    std::vector<bool> done(group.size());
    const auto endRow = [&](std::size_t row) {
        const auto at = std::find(group.begin(), group.end(), row);
        if (at == group.end() || done[at - group.begin()])
            return;
        done[at - group.begin()] = true;
        ended(row);
    };
    try {
        steps.workTogether(group, endRow);
    } catch (...) {
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (!done[i]) {
            guarded(group[i], steps.work, steps.failed);
            ended(group[i]);
        }
    }
}

}  // namespace

void runRows(const std::vector<std::size_t>& rows, int jobs, const std::atomic<bool>* stop,
             Waiter* waiter, const RowSteps& steps)
{
    BlockingWaiter blocking;
    Waiter& waiting = waiter != nullptr ? *waiter : blocking;
    const std::size_t most = poolSize(jobs, rows.size());
    const std::size_t perTask = steps.workTogether ? std::max<std::size_t>(steps.groupSize, 1) : 1;

    std::mutex mutex;
    std::deque<std::size_t> ended;  // guarded by mutex
    std::size_t tasksEnded = 0;     // guarded by mutex
    std::size_t tasks = 0;
    std::size_t running = 0;
    std::size_t next = 0;
    const auto rowEnded = [&](std::size_t row) {
        {
            const std::lock_guard lock(mutex);
            ended.push_back(row);
        }
        waiting.wake();
    };
    // Declared last: its destructor joins the threads before what they use goes.
    WorkerPool pool(most);
    while (true) {
        while (tasks < most && next < rows.size() && !stopped(stop)) {
            std::vector<std::size_t> group;
            while (group.size() < perTask && next < rows.size()
                   && (!steps.mayStart || steps.mayStart(next))) {
                group.push_back(rows[next++]);
                steps.begin(group.back());
            }
            if (group.empty())
                break;
            ++tasks;
            running += group.size();
            pool.post([&, group = std::move(group)] {
                if (steps.workTogether) {
                    workGroup(group, steps, rowEnded);
                } else {
                    guarded(group.front(), steps.work, steps.failed);
                    rowEnded(group.front());
                }
                {
                    const std::lock_guard lock(mutex);
                    ++tasksEnded;
                }
                waiting.wake();
            });
        }
        if (running == 0 && tasks == 0)
            break;
        waiting.waitUntil([&] {
            const std::lock_guard lock(mutex);
            return !ended.empty() || tasksEnded > 0;
        });
        std::deque<std::size_t> taken;
        {
            const std::lock_guard lock(mutex);
            taken.swap(ended);
            tasks -= tasksEnded;
            tasksEnded = 0;
        }
        for (std::size_t row : taken) {
            --running;
            steps.end(row);
        }
    }
}
