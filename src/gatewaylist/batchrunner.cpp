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
        while (running < most && next < rows.size() && !stopped(stop)) {
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

struct BatchRunner::State {
    const std::atomic<bool>* stop;
    std::size_t jobs;
    std::vector<std::size_t> rows;
    Steps steps;
    std::mutex mutex;
    std::condition_variable done;
    std::size_t next = 0;      // guarded by mutex
    std::size_t loops = 0;     // guarded by mutex
    bool finished = true;      // guarded by mutex
    std::unique_ptr<WorkerPool> pool;

    // One pool thread's share: rows taken in order until none is left or a stop came.
    void loop()
    {
        for (;;) {
            std::size_t row = 0;
            {
                const std::lock_guard lock(mutex);
                if (next >= rows.size() || stopped(stop))
                    break;
                row = rows[next++];
            }
            guarded(row, steps.work, steps.failed);
            if (steps.ended)
                steps.ended(row);
        }
        bool last = false;
        {
            const std::lock_guard lock(mutex);
            last = --loops == 0;
        }
        if (!last)
            return;
        if (steps.finished)
            steps.finished();
        {
            const std::lock_guard lock(mutex);
            finished = true;
        }
        done.notify_all();
    }
};

BatchRunner::BatchRunner(int jobs, const std::atomic<bool>* stop)
    : m_state(std::make_shared<State>())
{
    m_state->stop = stop;
    m_state->jobs = static_cast<std::size_t>(std::clamp(jobs, 1, MostJobs));
}

BatchRunner::~BatchRunner()
{
    join();
    m_state->pool.reset();
}

void BatchRunner::start(std::vector<std::size_t> rows, Steps steps)
{
    join();
    State& state = *m_state;
    const std::size_t loops = std::max<std::size_t>(1, std::min(state.jobs, rows.size()));
    {
        const std::lock_guard lock(state.mutex);
        state.rows = std::move(rows);
        state.steps = std::move(steps);
        state.next = 0;
        state.loops = loops;
        state.finished = false;
    }
    state.pool = std::make_unique<WorkerPool>(loops);
    for (std::size_t i = 0; i < loops; ++i)
        state.pool->post([&state] { state.loop(); });
}

void BatchRunner::join()
{
    State& state = *m_state;
    std::unique_lock lock(state.mutex);
    state.done.wait(lock, [&] { return state.finished; });
}
