// SPDX-License-Identifier: Apache-2.0
// CUnixListener: a unix stream socket the test listens on, standing in for a
// local server (a compositor, a sound server) that a program looks for.
#pragma once

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

class CUnixListener {
public:
    // Listens at `path` (its folders made as needed), open to every user.
    explicit CUnixListener(const std::string& path) : m_nFd(socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        EXPECT_EQ(bind(m_nFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(m_nFd, 8), 0);
        chmod(path.c_str(), 0777);
    }
    ~CUnixListener() { close(m_nFd); }
    CUnixListener(const CUnixListener&) = delete;
    CUnixListener& operator=(const CUnixListener&) = delete;

private:
    int m_nFd;
};
