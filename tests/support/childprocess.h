#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// The user and group "nobody", which the tests become when they run as root: root ignores file
// modes, so a check of a protected file means something only for an ordinary user.
inline constexpr uid_t OrdinaryUserId = 65534;

// Runs check in a forked child and returns what it returned (empty for success), or why the
// child failed: it threw, crashed, or did not finish within timeout (it is then killed, so a
// call that blocks for ever fails the test instead of hanging it). With asOrdinaryUser a root
// process's child first becomes OrdinaryUserId with no extra groups; others run as they are.
std::string inChildProcess(const std::function<std::string()>& check, bool asOrdinaryUser,
                           std::chrono::seconds timeout = std::chrono::seconds(10));

// The arguments that run a program as the ordinary user through setpriv when this process is
// root, to be put before the program and its arguments; empty otherwise.
std::vector<std::string> asOrdinaryUserPrefix();

// A copy of program that the ordinary user can run, in a folder of mode 0755 made once per
// test program and removed at its end: the checkout may lie where that user can't enter
// (a clone in /root is 0700). The program itself when this process is not root.
std::string reachableByOrdinaryUser(const std::string& program);

// A server a fixture runs beside the test: args[0] started with args, standard input from
// /dev/null, standard output and error into logPath, in a process group of its own (so that
// every process it forks goes with it). Returns its pid, or -1.
pid_t startServer(std::vector<std::string> args, const std::string& logPath);

// Waits until ready() holds: empty then, else why not (the server ended, and is then reaped and
// pid set to -1, or timeout passed).
std::string waitUntilServing(pid_t& pid, std::chrono::seconds timeout,
                             const std::function<bool()>& ready);

// Ends a server, with its whole group when it leads one: SIGTERM first when grace is given,
// SIGKILL after it or at once. Sets pid to -1.
void stopServer(pid_t& pid, std::chrono::seconds grace);
