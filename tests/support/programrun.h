#pragma once

#include <chrono>
#include <string>
#include <vector>

// What a program left when it ended.
struct ProgramRun {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};  // from its start to its end
};

// Runs program with args and environment ("NAME=value" each), standard input empty, waits for
// it and captures what it prints. stdoutPath, when given, receives the standard output instead
// (e.g. "/dev/full") and out stays empty. The signal (SIGINT: an operator's Ctrl+C) is sent at
// each of interruptAfter (from the start) while it runs. Throws std::runtime_error when it
// can't be started.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& environment,
                      const std::string& stdoutPath = {},
                      const std::vector<std::chrono::milliseconds>& interruptAfter = {},
                      int signalNumber = 2);

// This process's own environment, "NAME=value" each.
std::vector<std::string> processEnvironment();
