// SPDX-License-Identifier: Apache-2.0
// loopback_ports: opens loopback TCP ports for the end-to-end tests and the
// screenshot script, and keeps them open until its standard input ends (or it
// is killed).
//   loopback_ports listen[:PORT]|refuse[:PORT] ...
// prints the port numbers, in the order asked, on one line. A `listen` port
// accepts connections (the kernel completes them; nobody reads), a `refuse`
// port is bound but not listening, so a connect to it is refused and no other
// program can take it meanwhile. Without PORT the kernel picks a free one.
// Exits 1 when a port cannot be opened, 2 on a usage error.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
struct CPortRequest {
    bool m_bListen = false;
    int m_nPort = 0; // 0: any free port
};

bool ParseRequest(const std::string& strWord, CPortRequest& request) {
    const std::string strKind = strWord.substr(0, strWord.find(':'));
    if (strKind != "listen" && strKind != "refuse")
        return false;
    request.m_bListen = strKind == "listen";
    if (strKind.size() == strWord.size())
        return true;
    const std::string strPort = strWord.substr(strKind.size() + 1);
    char* pEnd = nullptr;
    const long nPort = std::strtol(strPort.c_str(), &pEnd, 10);
    if (strPort.empty() || *pEnd != '\0' || nPort < 1 || nPort > 65535)
        return false;
    request.m_nPort = static_cast<int>(nPort);
    return true;
}

// Binds 127.0.0.1 and listens when asked; the bound port, or -1. The socket
// stays open until the process ends.
int OpenPort(const CPortRequest& request) {
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(request.m_nPort));
    socklen_t nLength = sizeof address;
    if (nFd < 0 || bind(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(nFd, reinterpret_cast<sockaddr*>(&address), &nLength) != 0 ||
        (request.m_bListen && listen(nFd, 4096) != 0))
        return -1;
    return ntohs(address.sin_port);
}

int Usage() {
    std::fprintf(stderr, "usage: loopback_ports listen[:PORT]|refuse[:PORT] ...\n");
    return 2;
}

// Blocks until standard input reaches its end.
void WaitForEndOfInput() {
    char buffer[256];
    ssize_t n;
    while ((n = read(STDIN_FILENO, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    }
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    std::vector<CPortRequest> requests(argc - 1);
    for (int i = 1; i < argc; ++i) {
        if (!ParseRequest(argv[i], requests[i - 1]))
            return Usage();
    }
    std::string strLine;
    for (const CPortRequest& request : requests) {
        const int nPort = OpenPort(request);
        if (nPort < 0) {
            std::fprintf(stderr, "loopback_ports: cannot open 127.0.0.1:%d: %s\n", request.m_nPort,
                         std::strerror(errno));
            return 1;
        }
        strLine += (strLine.empty() ? "" : " ") + std::to_string(nPort);
    }
    std::printf("%s\n", strLine.c_str());
    std::fflush(stdout);
    WaitForEndOfInput();
    return 0;
}
