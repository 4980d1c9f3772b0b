#include "runtool.h"

#include "support/tempdir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <stdexcept>

extern char** environ;

ToolRun runTool(const std::vector<std::string>& args, const std::string& stdoutPath)
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

    std::vector<std::string> argvStrings{ORBIPHON_CLI};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, ORBIPHON_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " ORBIPHON_CLI);
    int status = 0;
    waitpid(pid, &status, 0);

    ToolRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (stdoutPath.empty())
        run.out = readFileBytes(outPath);
    run.err = readFileBytes(errPath);
    return run;
}

bool isOneLineMessage(const std::string& err)
{
    return err.rfind("orbiphon-cli: ", 0) == 0 && std::count(err.begin(), err.end(), '\n') == 1
        && err.back() == '\n';
}
