// Runs the built ostrel-cli as a separate process and captures what it
// printed and its exit status.
#pragma once

#include "support/test_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// In a forked child: becomes ostrel-cli with `args`, run by the command
// `wrapper` when one is given (found on PATH).
[[noreturn]] inline void ExecCli(const std::vector<std::string>& args,
                                 const std::vector<std::string>& wrapper = {}) {
    std::vector<char*> argv;
    for (const std::string& w : wrapper)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(const_cast<char*>(OSTREL_CLI_PATH));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// `fnInChild` runs in the child before it becomes ostrel-cli.
inline CliResult RunCli(const std::vector<std::string>& args,
                        const std::function<void()>& fnInChild = {}) {
    CTempDir capture;
    const std::string out = capture / "out", err = capture / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(o, 1);
        ::dup2(e, 2);
        if (fnInChild)
            fnInChild();
        ExecCli(args);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
}
