// SPDX-License-Identifier: Apache-2.0
// Runs one command and measures it as its parent: wall time from the start
// to its end, processor time and peak resident size (wait4's rusage of that
// child alone). Its standard output goes through a pipe into OUT_FILE (or
// nowhere), counted in lines on the way.
//   run_measured [--out OUT_FILE] [--lap-lines N] [--term-after-lines N]
//                -- COMMAND ARG...
// With --lap-lines, prints "lap=K at_s=T" on standard error each time the
// command's output reaches another N lines (the end of each pass of a
// `watch` over N targets). With --term-after-lines, the command gets SIGTERM
// once it has written N lines. Then prints one line on standard error:
//   wall_s=W user_s=U sys_s=S maxrss_kb=K lines=L status=X
// where X is the exit status, or 128 + the signal that ended it. Exits with
// the command's status, 127 when it could not be started.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(timeval tv) {
    return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6;
}

int Usage() {
    std::fputs("usage: run_measured [--out FILE] [--lap-lines N] [--term-after-lines N] -- "
               "COMMAND ARG...\n",
               stderr);
    return 2;
}

bool WriteAll(int nFd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t nDone = write(nFd, p, n);
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone <= 0)
            return false;
        p += nDone;
        n -= static_cast<size_t>(nDone);
    }
    return true;
}
} // namespace

int main(int argc, char** argv) {
    const char* pszOut = nullptr;
    long long nTermAfter = -1, nLapLines = -1;
    int nArg = 1;
    for (; nArg < argc && std::strcmp(argv[nArg], "--") != 0; ++nArg) {
        if (std::strcmp(argv[nArg], "--out") == 0 && nArg + 1 < argc)
            pszOut = argv[++nArg];
        else if (std::strcmp(argv[nArg], "--lap-lines") == 0 && nArg + 1 < argc)
            nLapLines = std::atoll(argv[++nArg]);
        else if (std::strcmp(argv[nArg], "--term-after-lines") == 0 && nArg + 1 < argc)
            nTermAfter = std::atoll(argv[++nArg]);
        else
            return Usage();
    }
    if (nArg + 1 >= argc)
        return Usage();
    const int nOutFd = pszOut ? open(pszOut, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    int pipeFds[2];
    if ((pszOut && nOutFd < 0) || pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::perror("run_measured");
        return 127;
    }

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execvp(argv[nArg + 1], argv + nArg + 1);
        std::perror("run_measured: exec");
        _exit(127);
    }
    close(pipeFds[1]);
    long long nLines = 0;
    bool bTermSent = false;
    char buffer[1 << 16];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n')
                continue;
            ++nLines;
            if (nLapLines > 0 && nLines % nLapLines == 0)
                std::fprintf(stderr, "lap=%lld at_s=%.3f\n", nLines / nLapLines,
                             std::chrono::duration<double>(Clock::now() - start).count());
        }
        if (nOutFd >= 0)
            WriteAll(nOutFd, buffer, static_cast<size_t>(n));
        if (nTermAfter >= 0 && nLines >= nTermAfter && !bTermSent && pid > 0) {
            kill(pid, SIGTERM);
            bTermSent = true;
        }
    }
    int nStatus = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &nStatus, 0, &usage) != pid) {
        std::perror("run_measured: wait");
        return 127;
    }
    const double dWall = std::chrono::duration<double>(Clock::now() - start).count();
    const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus)
                                         : 128 + (WIFSIGNALED(nStatus) ? WTERMSIG(nStatus) : 0);
    std::fprintf(stderr, "wall_s=%.3f user_s=%.3f sys_s=%.3f maxrss_kb=%ld lines=%lld status=%d\n",
                 dWall, Seconds(usage.ru_utime), Seconds(usage.ru_stime), usage.ru_maxrss, nLines,
                 nExit);
    return nExit;
}
