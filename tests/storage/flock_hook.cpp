#include "flock_hook.h"

#include <cerrno>
#include <climits>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

CFlockHook g_flockHook;

namespace {
std::string NameOf(int fd) {
    char name[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), name, sizeof name);
    return n > 0 ? std::string(name, static_cast<size_t>(n)) : std::string();
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}
} // namespace

int flock(int fd, int operation) noexcept {
    CFlockHook& hook = g_flockHook;
    if (hook.m_nGoFd >= 0) {
        const int go = hook.m_nGoFd;
        hook.m_nGoFd = -1; // the first lock only
        char byte = 0;
        [[maybe_unused]] ssize_t n = ::write(hook.m_nArrivedFd, &byte, 1);
        n = ::read(go, &byte, 1);
    }
    const std::string name = NameOf(fd);
    struct stat st {};
    ::fstat(fd, &st);
    hook.m_locked.emplace_back(name, st.st_mode & 07777);
    if (!hook.m_strFailSuffix.empty() && EndsWith(name, hook.m_strFailSuffix)) {
        errno = ENOLCK;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

CHeldLock::CHeldLock() {
    [[maybe_unused]] int rc = ::pipe(m_arrived);
    rc = ::pipe(m_go);
}

CHeldLock::~CHeldLock() {
    for (int fd : {m_arrived[0], m_arrived[1], m_go[0], m_go[1]})
        if (fd >= 0)
            ::close(fd);
}

void CHeldLock::HoldHere() {
    g_flockHook.m_nArrivedFd = m_arrived[1];
    g_flockHook.m_nGoFd = m_go[0];
}

bool CHeldLock::WaitUntilHeld() {
    ::close(m_arrived[1]); // so that a child that ends first ends the wait
    m_arrived[1] = -1;
    char byte;
    return ::read(m_arrived[0], &byte, 1) == 1;
}

void CHeldLock::Release() {
    const char byte = 0;
    [[maybe_unused]] ssize_t n = ::write(m_go[1], &byte, 1);
}
