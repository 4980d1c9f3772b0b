#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class Waiter;

// The one way the batches work on their rows, whatever the number of jobs: rows start in their
// order on at most `jobs` threads of a pool (never one thread per row), a row whose work throws
// ends as failed with the exception's text, and every thread is joined before the run returns.

// The steps of one row. work runs on a pool thread and keeps its result itself (each row in its
// own place); failed runs there instead of the rest of work when work throws.
struct RowSteps {
    std::function<void(std::size_t row)> begin;  // on the calling thread, before the row starts
    std::function<void(std::size_t row)> work;
    std::function<void(std::size_t row, const std::string& why)> failed;
    std::function<void(std::size_t row)> end;  // on the calling thread, after the row ended
    // When given, asked on the calling thread before each start with the number of rows started
    // so far: false holds the rest back (until a row's end changes the answer).
    std::function<bool(std::size_t started)> mayStart = {};
    // When given, a pool thread takes up to groupSize rows at once and works on them together:
    // workTogether calls ended(row) (on that thread) as each of them is done, its result kept.
    // Rows it leaves without an end, returning or throwing, go through work one at a time, so a
    // row that throws still fails alone.
    std::function<void(const std::vector<std::size_t>& group,
                       const std::function<void(std::size_t row)>& ended)>
        workTogether = {};
    std::size_t groupSize = 1;
};

// Runs rows and returns when every started row has ended: the calling thread starts them (unless
// stop is set) and hears their ends, waiting on waiter (nullptr: it blocks) in between.
void runRows(const std::vector<std::size_t>& rows, int jobs, const std::atomic<bool>* stop,
             Waiter* waiter, const RowSteps& steps);
