// SPDX-License-Identifier: Apache-2.0
// CFileDescriptor: owns one open file descriptor and closes it when it goes.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <utility>

class CFileDescriptor {
public:
    explicit CFileDescriptor(int nFd = -1) : m_nFd(nFd) {}
    CFileDescriptor(CFileDescriptor&& other) noexcept : m_nFd(std::exchange(other.m_nFd, -1)) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept {
        if (this != &other) {
            Close();
            m_nFd = std::exchange(other.m_nFd, -1);
        }
        return *this;
    }
    ~CFileDescriptor() { Close(); }

    int Get() const { return m_nFd; }
    bool IsOpen() const { return m_nFd >= 0; }
    void Close() {
        if (m_nFd >= 0)
            ::close(std::exchange(m_nFd, -1));
    }

private:
    int m_nFd;
};

// Whether a call that opens a descriptor failed for want of one (the
// process's limit or the system's) or of kernel memory: nothing about what
// it was to reach.
inline bool IsOutOfResources(int nErrno) {
    return nErrno == EMFILE || nErrno == ENFILE || nErrno == ENOBUFS || nErrno == ENOMEM;
}

// Takes a socket's pending error (SO_ERROR), which clears it: 0 for none;
// errno when the socket cannot be asked.
inline int TakeSocketError(int nFd) {
    int nError = 0;
    socklen_t nLength = sizeof nError;
    if (getsockopt(nFd, SOL_SOCKET, SO_ERROR, &nError, &nLength) != 0)
        return errno;
    return nError;
}
