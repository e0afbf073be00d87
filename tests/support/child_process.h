// SPDX-License-Identifier: Apache-2.0
// Runs a built program as a child process, its standard output and error
// captured: with variables added to (or instead of) the test's environment,
// as another user, and with a time limit.
#pragma once

#include "support/other_user.h"
#include "support/test_files.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>

#include <memory>
#include <utility>

using Env = std::vector<std::pair<std::string, std::string>>;

struct SChildOptions {
    Env env = {};           // variables set for the child
    bool bClearEnv = false; // the child sees `env` alone, not the test's environment besides
    int nTimeoutMs = -1;    // Wait() kills the child once this is up; -1: no limit
    // In the child, before it becomes another user and starts the program:
    // sets limits, opens descriptors, ...
    std::function<void()> fnInChild = {};
    // In the child, just before the program starts: becomes another user
    // (BecomeNobody, or a switch of the test's own), empty on success. When
    // set, the program runs from a CProgramCopy that every user may reach.
    std::function<std::string()> fnBecomeUser = {};
};

struct SChildResult {
    int status = -1; // the exit status; -1 when a signal (or the time limit) ended it
    std::string out, err;
    std::string program; // the path that ran: the copy, when run as another user
};

// A program (a path, or a name sought in PATH) started at construction, and
// killed at destruction if it still runs. A failed exec ends the child with
// 127, a failed fnBecomeUser with 126.
class CChildProcess {
public:
    CChildProcess(const std::string& strProgram, std::vector<std::string> args,
                  SChildOptions options = {})
        : m_options(std::move(options)) {
        if (m_options.fnBecomeUser)
            m_pCopy = std::make_unique<CProgramCopy>(strProgram);
        m_strProgram = m_pCopy ? m_pCopy->Path() : strProgram;
        args.insert(args.begin(), m_strProgram);
        std::vector<char*> argv;
        for (std::string& strArg : args)
            argv.push_back(strArg.data());
        argv.push_back(nullptr);
        const int nOut = open((m_capture / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const int nErr = open((m_capture / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        std::fflush(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(nOut, 1);
            dup2(nErr, 2);
            if (m_options.bClearEnv)
                clearenv();
            for (const auto& [name, value] : m_options.env)
                setenv(name.c_str(), value.c_str(), 1);
            if (m_options.fnInChild)
                m_options.fnInChild();
            if (m_options.fnBecomeUser && !m_options.fnBecomeUser().empty())
                _exit(126);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(nOut);
        close(nErr);
    }
    ~CChildProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // What the child has printed so far.
    std::string Out() const { return ReadText(m_capture / "out"); }
    std::string Err() const { return ReadText(m_capture / "err"); }
    void Signal(int nSignal) const { kill(m_pid, nSignal); }
    pid_t Pid() const { return m_pid; }

    // Waits for the end (at most the time limit, then kills it); once only.
    SChildResult Wait() {
        const int nPidFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
        pollfd ended{nPidFd, POLLIN, 0};
        if (nPidFd >= 0 && poll(&ended, 1, m_options.nTimeoutMs) == 0)
            kill(m_pid, SIGKILL);
        if (nPidFd >= 0)
            close(nPidFd);
        int nStatus = 0;
        waitpid(m_pid, &nStatus, 0);
        m_pid = -1;
        return {WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1, Out(), Err(), m_strProgram};
    }

private:
    SChildOptions m_options;
    std::unique_ptr<CProgramCopy> m_pCopy;
    std::string m_strProgram;
    CTempDir m_capture;
    pid_t m_pid = -1;
};

// Runs the program to its end.
inline SChildResult RunChild(const std::string& strProgram, const std::vector<std::string>& args,
                             SChildOptions options = {}) {
    return CChildProcess(strProgram, args, std::move(options)).Wait();
}

// A child's result as one string and back, for a result that has to cross
// from a forked child (one in a namespace of its own) to the test: each
// field's length, a line end, then its bytes.
inline std::string PackChildResult(const SChildResult& r) {
    std::string packed = std::to_string(r.status) + "\n";
    for (const std::string* field : {&r.out, &r.err, &r.program})
        packed.append(std::to_string(field->size())).append(1, '\n').append(*field);
    return packed;
}

inline SChildResult UnpackChildResult(const std::string& packed) {
    SChildResult r;
    size_t nAt = packed.find('\n');
    r.status = std::atoi(packed.substr(0, nAt).c_str());
    for (std::string* field : {&r.out, &r.err, &r.program}) {
        const size_t nEnd = packed.find('\n', ++nAt);
        if (nEnd == std::string::npos)
            break;
        const size_t nSize = std::stoul(packed.substr(nAt, nEnd - nAt));
        *field = packed.substr(nEnd + 1, nSize);
        nAt = nEnd + nSize;
    }
    return r;
}
