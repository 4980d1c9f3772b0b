#include "support/programrun.h"

#include "support/tempdir.h"

#include <fcntl.h>
#include <spawn.h>
#include <signal.h>
#include <sys/wait.h>

#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// argv or envp as posix_spawn takes them: pointers into strings, then a null.
std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& environment, const std::string& stdoutPath,
                      const std::vector<std::chrono::milliseconds>& interruptAfter,
                      int signalNumber)
{
    TempDir capture;
    const std::string outPath = stdoutPath.empty() ? capture.file("stdout") : stdoutPath;
    const std::string errPath = capture.file("stderr");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);

    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = environment;
    const std::vector<char*> argv = pointersTo(argvStrings);
    const std::vector<char*> envp = pointersTo(envStrings);

    const auto started = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
    int status = 0;
    bool ended = false;
    for (const std::chrono::milliseconds after : interruptAfter) {
        while (!ended && std::chrono::steady_clock::now() < started + after) {
            ended = waitpid(pid, &status, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!ended)
            ::kill(pid, signalNumber);
    }
    if (!ended)
        waitpid(pid, &status, 0);

    ProgramRun run;
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (stdoutPath.empty())
        run.out = readFileBytes(outPath);
    run.err = readFileBytes(errPath);
    return run;
}

std::vector<std::string> processEnvironment()
{
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable)
        variables.emplace_back(*variable);
    return variables;
}
