// SPDX-License-Identifier: Apache-2.0
#include "monitor/alert_command.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string_view>

extern char** environ;

namespace {
bool IsNamed(std::string_view entry, std::string_view name) {
    return entry.size() > name.size() && entry[name.size()] == '=' && entry.starts_with(name);
}

// Our environment, less each variable that `extra` sets or `removed` names,
// then `extra`: the array execve takes, ending in null, pointing into
// environ and `extra`.
std::vector<const char*> MergedEnvironment(const std::vector<std::string>& extra,
                                           const std::vector<std::string>& removed) {
    const auto isReplaced = [&](std::string_view entry) {
        const std::string_view name = entry.substr(0, entry.find('='));
        for (const std::string& set : extra)
            if (IsNamed(set, name))
                return true;
        for (const std::string& gone : removed)
            if (IsNamed(entry, gone))
                return true;
        return false;
    };
    std::vector<const char*> env;
    for (char** p = environ; p && *p; ++p)
        if (!isReplaced(*p))
            env.push_back(*p);
    for (const std::string& set : extra)
        env.push_back(set.c_str());
    env.push_back(nullptr);
    return env;
}

// Writes `text` to a new file open to this user alone; its path, or empty
// when it could not be written whole.
std::string WriteDigestFile(const std::string& text) {
    const char* pszFolder = std::getenv("TMPDIR");
    std::string strPath =
        std::string(pszFolder && *pszFolder ? pszFolder : "/tmp") + "/ostrel-digest-XXXXXX";
    const int nFd = mkostemp(strPath.data(), O_CLOEXEC);
    if (nFd < 0)
        return {};
    size_t nDone = 0;
    while (nDone < text.size()) {
        const ssize_t n = write(nFd, text.data() + nDone, text.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        nDone += static_cast<size_t>(n);
    }
    if (close(nFd) != 0 || nDone < text.size()) {
        unlink(strPath.c_str());
        return {};
    }
    return strPath;
}

// The rest runs in the forked children: only calls that are safe after
// fork in a threaded process.

// Leaves the command no capability: the ambient set cleared, the bounding
// set emptied as far as CAP_SETPCAP allows, then every set of our own, the
// inheritable one included, cleared. A call the system forbids (a service's
// system call filter) leaves that set as it was; the ambient one is enough
// for a process that is not root to start the shell with none.
void DropCapabilities() {
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    for (unsigned long nCap = 0; nCap < 64; ++nCap)
        if (prctl(PR_CAPBSET_DROP, nCap, 0, 0, 0) != 0 && errno == EINVAL)
            break; // past the last capability the kernel knows
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    syscall(SYS_capset, &header, none);
}

// Every descriptor above 2 is closed by the exec, the report pipe's among
// them, which must stay open until then.
void CloseAboveStandardOnExec() {
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    rlimit limit{};
    const rlim_t nEnd =
        getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
    for (rlim_t nFd = 3; nFd < nEnd; ++nFd)
        fcntl(static_cast<int>(nFd), F_SETFD, FD_CLOEXEC);
}

// Execs the shell; when the system refuses, writes errno to `nReportFd`.
[[noreturn]] void ExecShell(const char* const* argv, const char* const* envp, int nNullFd,
                            int nReportFd) {
    if (nNullFd >= 0)
        dup2(nNullFd, STDIN_FILENO);
    CloseAboveStandardOnExec();
    DropCapabilities();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    execve("/bin/sh", const_cast<char* const*>(argv), const_cast<char* const*>(envp));
    const int nError = errno;
    (void)!write(nReportFd, &nError, sizeof nError);
    _exit(127);
}

// The errno the shell's exec reported through `nFd`, 0 when it ran.
int ReadExecError(int nFd) {
    int nError = 0;
    ssize_t n;
    while ((n = read(nFd, &nError, sizeof nError)) < 0 && errno == EINTR) {
    }
    return n == sizeof nError ? nError : 0;
}

// Starts the shell as the grandchild; true once it runs.
bool StartDetached(const char* const* argv, const char* const* envp) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    const int nNullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0)
            ExecShell(argv, envp, nNullFd, report[1]);
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(report[1]);
    if (nNullFd >= 0)
        close(nNullFd);
    bool bStarted = false;
    if (pid > 0) {
        // The intermediate process ends at once; reaping it leaves the shell
        // to the system's reaper.
        int nStatus = 0;
        while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
        }
        // Once the intermediate has gone, only the shell holds the pipe's
        // other end, until its exec closes it or its report comes.
        bStarted = WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0 && ReadExecError(report[0]) == 0;
    }
    close(report[0]);
    return bStarted;
}
} // namespace

bool StartAlertCommand(const std::string& strCommandLine, const SAlertEnvironment& environment) {
    std::vector<std::string> variables = environment.variables;
    std::string strDigestFile;
    if (environment.fileText) {
        strDigestFile = WriteDigestFile(*environment.fileText);
        if (!strDigestFile.empty())
            variables.push_back("OSTREL_DIGEST_FILE=" + strDigestFile);
    }
    // Built here: the children may only make calls that are safe after fork.
    const std::vector<const char*> env = MergedEnvironment(variables, environment.removed);
    const char* argv[] = {"sh", "-c", strCommandLine.c_str(), nullptr};
    // With a digest file, a shell of ours runs the command's shell and then
    // removes the file; the command line reaches it as an argument, untouched.
    const char* wrapped[] = {"sh",
                             "-c",
                             "/bin/sh -c \"$1\" sh; rm -f -- \"$2\"",
                             "sh",
                             strCommandLine.c_str(),
                             strDigestFile.c_str(),
                             nullptr};
    const bool bStarted = StartDetached(strDigestFile.empty() ? argv : wrapped, env.data());
    if (!bStarted && !strDigestFile.empty())
        unlink(strDigestFile.c_str());
    return bStarted;
}
