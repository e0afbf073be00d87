// SPDX-License-Identifier: Apache-2.0
// Probes inside network namespaces made by the test: silent targets, missing
// routes, routers that answer with errors, and which ICMP socket is used.
#include "support/other_user.h"
#include "support/private_network_or_skip.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {
constexpr const char* kAllGroups = "0 2147483647"; // ping_group_range letting everyone ping
constexpr const char* kNoGroups = "1 0";           // the kernel's default: nobody
// An error cuts an echo's 10 s wait short; this bound tells the two apart.
constexpr double kWellBeforeTimeoutMs = 5000;

std::string Count(long long n) {
    return std::to_string(n) + " 0\n";
}

// In a child's namespace: one echo to 127.0.0.1 with these ping groups, as
// root or as nobody; the probe's outcome and the number of requests sent.
std::string EchoLoopback(const char* pszPingGroups, bool bAsNobody) {
    if (!SetSysctl("net/ipv4/ping_group_range", pszPingGroups) ||
        (bAsNobody && !BecomeNobody().empty()))
        return "set-up failed\n";
    long long nBefore = SnmpCounter("Icmp", "OutEchos");
    std::string strOut = TimeProbe(0, "127.0.0.1");
    return strOut + Count(SnmpCounter("Icmp", "OutEchos") - nBefore);
}
} // namespace

TEST(NamespaceProbe, RawSocketSendsOneRequestAndMatchesItsReply) {
    // Root, with no ping groups, falls back to a raw socket.
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] { return EchoLoopback(kNoGroups, false); });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2u) << text;
    EXPECT_EQ(outcomes[0].nResult, 1);
    EXPECT_EQ(outcomes[1].nResult, 1) << "one echo request, no retry";
}

TEST(NamespaceProbe, DatagramSocketWorksWithoutPrivileges) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] { return EchoLoopback(kAllGroups, true); });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2u) << text;
    EXPECT_EQ(outcomes[0].nResult, 1);
    EXPECT_EQ(outcomes[1].nResult, 1);
}

TEST(NamespaceProbe, NoIcmpSocketGivesZeroAtOnce) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] { return EchoLoopback(kNoGroups, true); });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2u) << text;
    EXPECT_EQ(outcomes[0].nResult, 0);
    EXPECT_LT(outcomes[0].dMs, kWellBeforeTimeoutMs);
    EXPECT_EQ(outcomes[1].nResult, 0) << "nothing sent";
}

TEST(NamespaceProbe, UnresolvedNameSendsNothing) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] {
        SetSysctl("net/ipv4/ping_group_range", kAllGroups);
        long long nEchoes = SnmpCounter("Icmp", "OutEchos");
        long long nOpens = SnmpCounter("Tcp", "ActiveOpens");
        std::string strOut = TimeProbe(0, "ostrel-no-such-host.invalid") +
                             TimeProbe(1, "ostrel-no-such-host.invalid", 80);
        return strOut + Count(SnmpCounter("Icmp", "OutEchos") - nEchoes) +
               Count(SnmpCounter("Tcp", "ActiveOpens") - nOpens);
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 4u) << text;
    for (int i : {0, 1}) {
        EXPECT_EQ(outcomes[i].nResult, 0);
        EXPECT_LT(outcomes[i].dMs, kWellBeforeTimeoutMs);
    }
    EXPECT_EQ(outcomes[2].nResult, 0) << "no echo request";
    EXPECT_EQ(outcomes[3].nResult, 0) << "no connection attempt";
}

TEST(NamespaceProbe, AddressWithoutRouteFailsAtOnce) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] {
        std::string strOut = TimeProbe(1, "192.0.2.1", 80);
        SetSysctl("net/ipv4/ping_group_range", kNoGroups);
        strOut += TimeProbe(0, "192.0.2.1");
        SetSysctl("net/ipv4/ping_group_range", kAllGroups);
        return strOut + TimeProbe(0, "192.0.2.1");
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 3u) << text;
    for (const SProbeOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.nResult, 0);
        EXPECT_LT(outcome.dMs, kWellBeforeTimeoutMs);
    }
}

// With the local port range narrowed to one port, binding to port 0 takes
// that port, and a connect to it on loopback meets itself.
TEST(NamespaceProbe, ConnectionToItselfIsNoResponse) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] {
        SetSysctl("net/ipv4/ip_local_port_range", "40000 40000");
        int nFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(40000);
        bool bSelf = connect(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(nFd);
        return Count(bSelf) + TimeProbe(1, "127.0.0.1", 40000);
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2u) << text;
    ASSERT_EQ(outcomes[0].nResult, 1) << "a plain connect here reaches itself";
    EXPECT_EQ(outcomes[1].nResult, 0);
}

// client (198.51.100.2) -- router (198.51.100.1 | 203.0.113.254) -- host (203.0.113.1).
// The router forwards to the host and answers "host unreachable" for 192.0.2.1.
class RoutedNamespaceProbe : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "network namespaces need root";
        m_strClient = m_namespaces.Add("client");
        m_strRouter = m_namespaces.Add("router");
        m_strHost = m_namespaces.Add("host");
        if (m_strClient.empty() || m_strRouter.empty() || m_strHost.empty())
            GTEST_SKIP() << "cannot make named network namespaces (ip netns add)";
        ASSERT_TRUE(m_namespaces.Link(m_strClient, "oc0", "198.51.100.2/24", m_strRouter, "or0",
                                      "198.51.100.1/24"));
        ASSERT_TRUE(m_namespaces.Link(m_strRouter, "or1", "203.0.113.254/24", m_strHost, "oh0",
                                      "203.0.113.1/24"));
        ASSERT_TRUE(m_namespaces.Exec(m_strClient, "ip route add default via 198.51.100.1"));
        ASSERT_TRUE(m_namespaces.Exec(m_strHost, "ip route add default via 203.0.113.254"));
        ASSERT_TRUE(m_namespaces.Exec(m_strRouter, "sysctl -qw net.ipv4.ip_forward=1 && "
                                                   "sysctl -qw net.ipv4.icmp_ratelimit=0 && "
                                                   "ip route add unreachable 192.0.2.1"));
    }

    std::vector<SProbeOutcome> ProbeFromClient(const std::string& strPingGroups, int nTtl,
                                               int nMode, const char* pszAddress, int nPort) {
        std::string strSkip;
        std::string text = RunInNetworkNamespace(
            m_strClient,
            [&] {
                SetSysctl("net/ipv4/ping_group_range", strPingGroups);
                SetSysctl("net/ipv4/ip_default_ttl", std::to_string(nTtl));
                return TimeProbe(nMode, pszAddress, nPort);
            },
            strSkip);
        EXPECT_EQ(strSkip, "");
        return ParseOutcomes(text);
    }

    void ExpectFailureAtOnce(const char* pszPingGroups, int nTtl, int nMode, const char* pszAddress,
                             int nPort) {
        auto outcomes = ProbeFromClient(pszPingGroups, nTtl, nMode, pszAddress, nPort);
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_EQ(outcomes[0].nResult, 0) << "ping_group_range " << pszPingGroups;
        EXPECT_LT(outcomes[0].dMs, kWellBeforeTimeoutMs) << "ping_group_range " << pszPingGroups;
    }

    CNamespaceSet m_namespaces;
    std::string m_strClient, m_strRouter, m_strHost;
};

TEST_F(RoutedNamespaceProbe, HostBehindTheRouterAnswers) {
    for (const char* pszGroups : {kNoGroups, kAllGroups}) {
        auto outcomes = ProbeFromClient(pszGroups, 64, 0, "203.0.113.1", 0);
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_EQ(outcomes[0].nResult, 1) << "ping_group_range " << pszGroups;
    }
}

TEST_F(RoutedNamespaceProbe, DestinationUnreachableIsNoResponse) {
    for (const char* pszGroups : {kNoGroups, kAllGroups})
        ExpectFailureAtOnce(pszGroups, 64, 0, "192.0.2.1", 0);
    ExpectFailureAtOnce(kNoGroups, 64, 1, "192.0.2.1", 80);
}

// With a time-to-live of 1 the router answers "time exceeded" instead.
TEST_F(RoutedNamespaceProbe, TimeExceededIsNoResponse) {
    for (const char* pszGroups : {kNoGroups, kAllGroups})
        ExpectFailureAtOnce(pszGroups, 1, 0, "203.0.113.1", 0);
}
