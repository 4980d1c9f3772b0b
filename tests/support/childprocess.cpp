#include "support/childprocess.h"

#include <grp.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <stdexcept>

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
