// SPDX-License-Identifier: Apache-2.0
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
