// SPDX-License-Identifier: Apache-2.0
// A datagram socket's identifier is a random draw, drawn again when another
// socket holds it (never shared); in a namespace where every identifier but
// one is held, the probe still echoes, on that one. Binding the 65,534 others
// takes seconds.
#include "scripted_hosts.h"
#include "support/private_network_or_skip.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {
constexpr uint16_t kFreeIdent = 4242;

// Identifiers each helper process holds: fewer than its file limit allows.
uint32_t IdentsPerHelper() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<uint32_t>(std::clamp<rlim_t>(limit.rlim_cur, 288, 16416) - 32);
}

// Binds ICMP datagram sockets to the identifiers from nFirst to nLast but
// kFreeIdent; true when all were bound.
bool BindIdentifiers(uint32_t nFirst, uint32_t nLast) {
    for (uint32_t nIdent = nFirst; nIdent <= nLast; ++nIdent) {
        if (nIdent == kFreeIdent)
            continue;
        int nFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(nIdent));
        if (nFd < 0 || bind(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
    }
    return true;
}

// In a helper process: binds the range, says whether it could on `nReadyFd`,
// and holds the sockets until `nHoldFd` reads its end.
[[noreturn]] void HoldIdentifiers(uint32_t nFirst, uint32_t nLast, int nReadyFd, int nHoldFd) {
    char cBound = BindIdentifiers(nFirst, nLast) ? '1' : '0';
    char cByte;
    if (write(nReadyFd, &cBound, 1) == 1)
        while (read(nHoldFd, &cByte, 1) < 0 && errno == EINTR) {
        }
    _exit(0);
}

// Helper processes that hold every identifier but kFreeIdent, each a range,
// until the holder goes.
class CIdentifierHolders {
public:
    CIdentifierHolders() {
        int hold[2], ready[2];
        if (pipe(hold) != 0 || pipe(ready) != 0)
            return;
        const uint32_t nPerHelper = IdentsPerHelper();
        for (uint32_t nFirst = 1; nFirst <= 65535; nFirst += nPerHelper) {
            pid_t pid = fork();
            if (pid == 0) {
                close(hold[1]);
                HoldIdentifiers(nFirst, std::min(nFirst + nPerHelper - 1, uint32_t{65535}),
                                ready[1], hold[0]);
            }
            if (pid > 0)
                m_pids.push_back(pid);
        }
        close(hold[0]);
        close(ready[1]);
        m_nHoldFd = hold[1];
        char cBound;
        m_bAllTaken = true;
        for (size_t i = 0; i < m_pids.size(); ++i)
            m_bAllTaken = m_bAllTaken && read(ready[0], &cBound, 1) == 1 && cBound == '1';
        m_bAllTaken = m_bAllTaken && m_pids.size() == (65535 + nPerHelper - 1) / nPerHelper;
        close(ready[0]);
    }
    ~CIdentifierHolders() {
        if (m_nHoldFd >= 0)
            close(m_nHoldFd);
        for (pid_t pid : m_pids)
            waitpid(pid, nullptr, 0);
    }
    bool AllTaken() const { return m_bAllTaken; }

private:
    std::vector<pid_t> m_pids;
    int m_nHoldFd = -1;
    bool m_bAllTaken = false;
};
} // namespace

TEST(EchoIdentifier, TheOneFreeIdentifierIsFoundWhenTheDrawsMeetTakenOnes) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] {
        if (!SetSysctl("net/ipv4/ping_group_range", kDatagramSocketGroups))
            return std::string("set-up failed\n");
        CIdentifierHolders holders;
        if (!holders.AllTaken())
            return std::string("identifiers not taken\n");
        CScriptedHosts sniffer({});
        if (!sniffer.IsReady())
            return std::string("no raw sockets\n");
        std::string strOut = TimeProbe(0, "127.0.0.1");
        sniffer.Stop();
        for (const SSeenRequest& request : sniffer.SeenRequests())
            strOut += std::to_string(request.nIdent) + " 0\n";
        return strOut;
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2u) << text;
    EXPECT_EQ(outcomes[0].nResult, 1);
    EXPECT_EQ(outcomes[1].nResult, kFreeIdent) << "the request's identifier";
}
