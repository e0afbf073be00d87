// SPDX-License-Identifier: Apache-2.0
// Helpers the tests share: a scratch folder, whole-file reads and writes, the
// byte-exact fixtures, running a check in a child process, and waiting for
// what another process or thread does.
#pragma once

#include "framework/exception.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A fresh folder under /tmp, removed with everything in it at the end.
class CTempDir {
public:
    CTempDir() {
        char name[] = "/tmp/ostrel-test-XXXXXX";
        m_path = ::mkdtemp(name) ? name : "";
    }
    ~CTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Writes each of `texts` to a file of its own in `dir`, 1.log, 2.log, ...,
// in order; gives their paths.
inline std::vector<std::string> WriteLogFiles(const CTempDir& dir,
                                              const std::vector<std::string>& texts) {
    std::vector<std::string> paths;
    for (const std::string& text : texts) {
        paths.push_back(dir / (std::to_string(paths.size() + 1) + ".log"));
        WriteFileBytes(paths.back(), Bytes(text.begin(), text.end()));
    }
    return paths;
}

inline std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

#ifdef OSTREL_FIXTURES_DIR
inline Bytes FixtureBytes(const std::string& name) {
    return ReadFileBytes(std::string(OSTREL_FIXTURES_DIR) + "/" + name);
}
#endif

// Runs `check` in a forked child, which may change what the test process
// must keep (its user, its mounts). Returns what the check returned: empty
// for success, else a description of the failure.
inline std::string RunInChild(const std::function<std::string()>& check) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) < 0)
        return "pipe failed";
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string result = check();
        [[maybe_unused]] ssize_t n = ::write(fds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string result;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        result.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the child process ended abnormally: " + result;
    return result;
}

// Tries `fnDone` every 10 ms for up to `limit`; whether it came true.
inline bool WaitFor(const std::function<bool()>& fnDone,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end;) {
        if (fnDone())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return fnDone();
}

// The errno of the file error that `run` raises, or 0 when it raises none.
inline long FileError(const std::function<void()>& run) {
    try {
        run();
    } catch (const CFileException& e) {
        return e.m_lOsError;
    }
    return 0;
}
