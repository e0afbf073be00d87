#include "monitor/alert_command.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
// Our environment, less each variable that `extra` sets, then `extra`: the
// array execve takes, ending in null, pointing into environ and `extra`.
std::vector<const char*> MergedEnvironment(const std::vector<std::string>& extra) {
    const auto setByExtra = [&extra](std::string_view entry) {
        const std::string_view name = entry.substr(0, entry.find('='));
        for (const std::string& set : extra)
            if (set.size() > name.size() && set[name.size()] == '=' && set.starts_with(name))
                return true;
        return false;
    };
    std::vector<const char*> env;
    for (char** p = environ; p && *p; ++p)
        if (!setByExtra(*p))
            env.push_back(*p);
    for (const std::string& set : extra)
        env.push_back(set.c_str());
    env.push_back(nullptr);
    return env;
}

// Runs in the forked children: only calls that are safe after fork in a
// threaded process.
[[noreturn]] void ExecShell(const char* pszCommandLine, const char* const* envp, int nNullFd) {
    if (nNullFd >= 0) {
        dup2(nNullFd, STDIN_FILENO);
    }
    close_range(3, ~0U, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    const char* argv[] = {"sh", "-c", pszCommandLine, nullptr};
    execve("/bin/sh", const_cast<char* const*>(argv), const_cast<char* const*>(envp));
    _exit(127);
}
} // namespace

bool StartAlertCommand(const std::string& strCommandLine,
                       const std::vector<std::string>& extraEnvironment) {
    // Built here: the children may only make calls that are safe after fork.
    const std::vector<const char*> env = MergedEnvironment(extraEnvironment);
    const int nNullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0)
            ExecShell(strCommandLine.c_str(), env.data(), nNullFd);
        _exit(grandchild < 0 ? 1 : 0);
    }
    if (nNullFd >= 0)
        close(nNullFd);
    if (pid < 0)
        return false;
    // The intermediate process ends at once; reaping it leaves the shell to
    // the system's reaper.
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}
