#include "monitor/alert_command.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
// Runs in the forked children: only calls that are safe after fork in a
// threaded process.
[[noreturn]] void ExecShell(const char* pszCommandLine, int nNullFd) {
    if (nNullFd >= 0) {
        dup2(nNullFd, STDIN_FILENO);
    }
    close_range(3, ~0U, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    const char* argv[] = {"sh", "-c", pszCommandLine, nullptr};
    execve("/bin/sh", const_cast<char* const*>(argv), environ);
    _exit(127);
}
} // namespace

bool StartAlertCommand(const std::string& strCommandLine) {
    const int nNullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0)
            ExecShell(strCommandLine.c_str(), nNullFd);
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
