// SPDX-License-Identifier: Apache-2.0
#include "check/tcp_probe.h"
#include "model/item.h"
#include "support/loopback_port.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace {
int32_t Probe(int32_t nMode, const char* pszAddress, int32_t nPort) {
    CItem item;
    item.m_nMode = nMode;
    item.m_strAddress = pszAddress;
    item.m_nPort = nPort;
    item.m_bOk = 7;
    int32_t nResult = item.Probe();
    EXPECT_EQ(item.m_bOk, 7) << "a probe leaves its target alone";
    return nResult;
}
} // namespace

// Each loopback address, and whether it is IPv6.
constexpr std::pair<const char*, bool> kLoopbacks[] = {
    {"127.0.0.1", false}, {"::1", true}, {"[::1]", true}};

TEST(TcpProbe, ListeningPortRespondsAndGetsNoData) {
    for (auto [pszAddress, bIpv6] : kLoopbacks) {
        CLoopbackPort port(true, bIpv6);
        EXPECT_EQ(Probe(1, pszAddress, port.Port()), 1) << pszAddress;
        EXPECT_EQ(port.AcceptAndDrain(), 0) << pszAddress << ": connected, then closed, no data";
        EXPECT_EQ(port.AcceptAndDrain(), -1) << pszAddress << ": exactly one connection";
    }
}

TEST(TcpProbe, ClosedPortIsRefused) {
    for (auto [pszAddress, bIpv6] : kLoopbacks) {
        CLoopbackPort port(false, bIpv6);
        EXPECT_EQ(Probe(1, pszAddress, port.Port()), 0) << pszAddress;
    }
}

TEST(TcpProbe, UsesTheLow16BitsOfThePort) {
    CLoopbackPort port(true);
    EXPECT_EQ(Probe(1, "127.0.0.1", 65536 + port.Port()), 1);
    EXPECT_EQ(port.AcceptAndDrain(), 0);
    EXPECT_EQ(Probe(1, "127.0.0.1", port.Port() - 65536), 1);
    EXPECT_EQ(port.AcceptAndDrain(), 0);
    CLoopbackPort closed(false);
    EXPECT_EQ(Probe(1, "127.0.0.1", 3 * 65536 + closed.Port()), 0);
}

TEST(TcpProbe, EveryNonzeroModeConnects) {
    CLoopbackPort port(true);
    for (int32_t nMode : {2, -1, INT32_MAX}) {
        EXPECT_EQ(Probe(nMode, "127.0.0.1", port.Port()), 1) << nMode;
        EXPECT_EQ(port.AcceptAndDrain(), 0) << nMode;
    }
}

TEST(TcpProbe, ResolvesNumbersAndDotsFormsAndHostsFileNames) {
    CLoopbackPort port(true);
    for (const char* pszAddress : {"127.1", "0x7f000001", "localhost"}) {
        EXPECT_EQ(Probe(1, pszAddress, port.Port()), 1) << pszAddress;
        EXPECT_EQ(port.AcceptAndDrain(), 0) << pszAddress;
    }
    EXPECT_EQ(Probe(1, "", port.Port()), 0);
    EXPECT_EQ(port.AcceptAndDrain(), -1) << "an empty address connects nowhere";
}

// Where the kernel leaves an unanswered SYN to its own retry count, the
// probe bounds that count as well; only releases from 4.19 on are trusted
// with the user timeout alone.
TEST(TcpProbe, UserTimeoutIsTrustedFromKernel419On) {
    const std::pair<const char*, bool> kReleases[] = {{"6.18.44-fc-v1403", true},
                                                      {"6.1.0-18-amd64", true},
                                                      {"5.4.0-150-generic", true},
                                                      {"4.19.0-27-amd64", true},
                                                      {"10.0", true},
                                                      {"4.18.0-553.el8_10.x86_64", false},
                                                      {"3.10.0-1160.el7.x86_64", false},
                                                      {"4", false},
                                                      {"", false}};
    for (auto [pszRelease, bTrusted] : kReleases)
        EXPECT_EQ(UserTimeoutEndsConnect(pszRelease), bTrusted) << pszRelease;
}
