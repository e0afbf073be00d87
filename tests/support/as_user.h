// A child process that becomes nobody, runs `fnSetUp` (takes locks, makes
// links, ...) and then stays, holding what it opened, until this goes away.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

class CAsNobody {
public:
    explicit CAsNobody(const std::function<std::string()>& fnSetUp) {
        int ready[2], stay[2];
        if (::pipe(ready) < 0 || ::pipe(stay) < 0 || (m_pid = ::fork()) < 0)
            return;
        if (m_pid == 0) {
            ::close(stay[1]); // so that the parent's close ends the wait below
            const passwd* nobody = ::getpwnam("nobody");
            const bool bNobody = nobody && ::setgroups(0, nullptr) == 0 &&
                                 ::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0;
            const std::string result = (bNobody ? fnSetUp() : "cannot become nobody") + "\n";
            [[maybe_unused]] ssize_t n = ::write(ready[1], result.data(), result.size());
            n = ::read(stay[0], ready, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stay[0]);
        m_nStay = stay[1];
        m_strResult.clear();
        for (char c; ::read(ready[0], &c, 1) == 1 && c != '\n';)
            m_strResult += c;
        ::close(ready[0]);
    }
    ~CAsNobody() {
        ::close(m_nStay);
        ::waitpid(m_pid, nullptr, 0);
    }
    CAsNobody(const CAsNobody&) = delete;
    CAsNobody& operator=(const CAsNobody&) = delete;
    // What fnSetUp returned: empty when it worked.
    const std::string& Result() const { return m_strResult; }

private:
    pid_t m_pid = -1;
    int m_nStay = -1;
    std::string m_strResult = "no child";
};
