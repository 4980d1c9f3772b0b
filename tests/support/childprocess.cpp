#include "support/childprocess.h"

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

std::string inChildProcess(const std::function<std::string()>& check, bool asOrdinaryUser,
                           std::chrono::seconds timeout)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        ::close(channel[0]);
        std::string outcome;
        if (asOrdinaryUser && ::geteuid() == 0
            && (::setgroups(0, nullptr) != 0
                || ::setresgid(OrdinaryUserId, OrdinaryUserId, OrdinaryUserId) != 0
                || ::setresuid(OrdinaryUserId, OrdinaryUserId, OrdinaryUserId) != 0)) {
            outcome = "could not become an ordinary user";
        } else {
            ::alarm(static_cast<unsigned>(timeout.count()));
            try {
                outcome = check();
            } catch (const std::exception& e) {
                outcome = std::string("threw: ") + e.what();
            }
        }
        [[maybe_unused]] const ssize_t ignored = ::write(channel[1], outcome.data(), outcome.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string outcome;
    char buffer[512];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        outcome.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        return "did not finish within " + std::to_string(timeout.count()) + " s";
    if (!WIFEXITED(status))
        return "the child process crashed";
    return outcome;
}

std::vector<std::string> asOrdinaryUserPrefix()
{
    if (::geteuid() != 0)
        return {};
    const std::string id = std::to_string(OrdinaryUserId);
    return {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
}

std::string reachableByOrdinaryUser(const std::string& program)
{
    if (::geteuid() != 0)
        return program;
    namespace fs = std::filesystem;
    // Removed with everything in it when the test program ends.
    static const struct Folder {
        Folder()
        {
            std::string pattern = (fs::temp_directory_path() / "orbiphon-run-XXXXXX").string();
            if (!::mkdtemp(pattern.data()))
                throw std::runtime_error("cannot create a temporary folder");
            path = pattern;
            fs::permissions(path, fs::perms(0755));
        }
        ~Folder()
        {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
        std::string path;
    } folder;
    const fs::path copy = fs::path(folder.path) / fs::path(program).filename();
    if (!fs::exists(copy))
        fs::copy_file(program, copy);
    fs::permissions(copy, fs::perms(0755));
    return copy.string();
}

pid_t startServer(std::vector<std::string> args, const std::string& logPath)
{
    std::vector<char*> argv;
    for (std::string& argument : args)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned == 0 ? pid : -1;
}

std::string waitUntilServing(pid_t& pid, std::chrono::seconds timeout,
                             const std::function<bool()>& ready)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                     : "ended by signal " + std::to_string(WTERMSIG(status));
        }
        if (ready())
            return {};
        if (std::chrono::steady_clock::now() >= deadline)
            return "was not ready within " + std::to_string(timeout.count()) + " s";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void stopServer(pid_t& pid, std::chrono::seconds grace)
{
    if (pid <= 0)
        return;
    const pid_t target = ::getpgid(pid) == pid ? -pid : pid;
    ::kill(target, grace.count() > 0 ? SIGTERM : SIGKILL);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (::waitpid(pid, nullptr, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(target, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid = -1;
}
