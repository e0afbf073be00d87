// Code run as another user, by default nobody, in a forked child: the child
// gives up root's groups, group and user before it runs anything.
#pragma once

#include "support/test_files.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <functional>
#include <string>

// In a child: becomes nobody. Empty on success, else why not.
inline std::string BecomeNobody() {
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
        ::setuid(nobody->pw_uid) != 0)
        return "cannot become nobody";
    return "";
}

// Runs `fn` as nobody: what it returns, or why it could not run.
inline std::string RunAsNobody(const std::function<std::string()>& fn) {
    return RunInChild([&] {
        const std::string failure = BecomeNobody();
        return failure.empty() ? fn() : failure;
    });
}

// A child that becomes nobody, runs `fnSetUp` (opens and locks files, ...)
// and then stays, holding what it opened, until this goes away. Result() is
// what fnSetUp returned: empty when it worked.
class CNobodyHolding {
public:
    explicit CNobodyHolding(const std::function<std::string()>& fnSetUp) {
        int ready[2], stay[2];
        if (::pipe(ready) < 0 || ::pipe(stay) < 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(stay[1]);
            std::string result = BecomeNobody();
            result = (result.empty() ? fnSetUp() : result) + "\n";
            [[maybe_unused]] ssize_t n = ::write(ready[1], result.data(), result.size());
            char byte;
            n = ::read(stay[0], &byte, 1); // until the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stay[0]);
        m_nStay = stay[1];
        m_strResult.clear();
        char c;
        while (::read(ready[0], &c, 1) == 1 && c != '\n')
            m_strResult += c;
        ::close(ready[0]);
    }
    ~CNobodyHolding() {
        ::close(m_nStay);
        ::waitpid(m_pid, nullptr, 0);
    }
    CNobodyHolding(const CNobodyHolding&) = delete;
    CNobodyHolding& operator=(const CNobodyHolding&) = delete;
    const std::string& Result() const { return m_strResult; }

private:
    pid_t m_pid = -1;
    int m_nStay = -1;
    std::string m_strResult = "no child";
};
