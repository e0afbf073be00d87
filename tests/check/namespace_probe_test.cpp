// SPDX-License-Identifier: Apache-2.0
// Probes inside network namespaces made by the test: silent targets, missing
// routes, routers that answer with errors, and which ICMP socket is used.
#include "check/concurrent/concurrent_pass.h"
#include "check/host_address.h"
#include "recording_sink.h"
#include "support/other_user.h"
#include "support/private_network_or_skip.h"
#include "support/test_files.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mount.h>
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

// The echo requests sent to each family's loopback address, counted in
// that family's statistics.
constexpr struct {
    const char* pszAddress;
    const char* pszCounterGroup;
} kLoopbacks[] = {{"127.0.0.1", "Icmp"}, {"::1", "Icmp6"}};

// In a child's namespace: one echo to each loopback address with these ping
// groups, as root or as nobody; each probe's outcome and the number of
// requests it sent.
std::string EchoLoopback(const char* pszPingGroups, bool bAsNobody) {
    if (!SetSysctl("net/ipv4/ping_group_range", pszPingGroups) ||
        (bAsNobody && !BecomeNobody().empty()))
        return "set-up failed\n";
    std::string strOut;
    for (const auto& loopback : kLoopbacks) {
        long long nBefore = SnmpCounter(loopback.pszCounterGroup, "OutEchos");
        strOut += TimeProbe(0, loopback.pszAddress);
        strOut += Count(SnmpCounter(loopback.pszCounterGroup, "OutEchos") - nBefore);
    }
    return strOut;
}

// Each loopback's echo result and requests sent, as EchoLoopback gave them.
void ExpectEchoes(const std::string& text, int nResult, int nSent) {
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2 * std::size(kLoopbacks)) << text;
    for (size_t i = 0; i < std::size(kLoopbacks); ++i) {
        EXPECT_EQ(outcomes[2 * i].nResult, nResult) << kLoopbacks[i].pszAddress;
        EXPECT_LT(outcomes[2 * i].dMs, kWellBeforeTimeoutMs) << kLoopbacks[i].pszAddress;
        EXPECT_EQ(outcomes[2 * i + 1].nResult, nSent) << kLoopbacks[i].pszAddress << ": sent";
    }
}
} // namespace

TEST(NamespaceProbe, RawSocketSendsOneRequestAndMatchesItsReply) {
    // Root, with no ping groups, falls back to a raw socket.
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] { return EchoLoopback(kNoGroups, false); });
    ExpectEchoes(text, 1, 1); // one echo request, no retry
}

TEST(NamespaceProbe, DatagramSocketWorksWithoutPrivileges) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] { return EchoLoopback(kAllGroups, true); });
    ExpectEchoes(text, 1, 1);
}

TEST(NamespaceProbe, NoIcmpSocketGivesZeroAtOnce) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] { return EchoLoopback(kNoGroups, true); });
    ExpectEchoes(text, 0, 0);
}

// The test's own hosts file, over /etc/hosts in a mount namespace of the
// child's, names an address with only an IPv6 address and one with both
// (IPv6 listed first); the statistics show which family each echo took.
TEST(NamespaceProbe, NameWithoutAnIpv4AddressIsProbedOverIpv6) {
    const CTempDir dir;
    const std::string strHosts = dir / "hosts";
    std::ofstream(strHosts) << "fd00::1 ostrel-six ostrel-both\n192.0.2.1 ostrel-both\n";
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [&] {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
            mount(strHosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0 ||
            std::system(AddressUp("192.0.2.1/32 fd00::1/128", "lo").c_str()) != 0 ||
            !SetSysctl("net/ipv4/ping_group_range", kAllGroups))
            return std::string("set-up failed\n");
        std::string strOut;
        for (const char* pszName : {"ostrel-six", "ostrel-both"}) {
            long long nIpv4 = SnmpCounter("Icmp", "OutEchos");
            long long nIpv6 = SnmpCounter("Icmp6", "OutEchos");
            strOut += TimeProbe(0, pszName);
            strOut += Count(SnmpCounter("Icmp", "OutEchos") - nIpv4);
            strOut += Count(SnmpCounter("Icmp6", "OutEchos") - nIpv6);
        }
        return strOut;
    });
    std::string strResults; // per name: answered, IPv4 requests, IPv6 requests
    for (const SProbeOutcome& outcome : ParseOutcomes(text))
        strResults += std::to_string(outcome.nResult);
    EXPECT_EQ(strResults, "101"
                          "110")
        << text;
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

// With the local port range narrowed to one port, a connect takes that port,
// and a connect to it on this host meets itself: at either loopback, and at
// an unspecified address, which reaches the loopback (the peer is then not
// the address connected to). Neither the probe nor a concurrent pass counts
// that as a response. Each connect has a namespace of its own: the
// connection one leaves in TIME_WAIT would keep the next from the port.
TEST(NamespaceProbe, ConnectionToItselfIsNoResponse) {
    for (const char* pszAddress : {"127.0.0.1", "::1", "0.0.0.0", "::"}) {
        const std::function<std::string()> connects[] = {
            [&] {
                sockaddr_storage to{};
                const socklen_t nTo = ToSocketAddress(*ResolveHostAddress(pszAddress), 40000, to);
                int nFd = socket(to.ss_family, SOCK_STREAM, 0);
                bool bSelf = connect(nFd, reinterpret_cast<sockaddr*>(&to), nTo) == 0;
                close(nFd);
                return Count(bSelf);
            },
            [&] { return TimeProbe(1, pszAddress, 40000); },
            [&] {
                CItemList list;
                AddTarget(list, kProbeTcp, pszAddress, 40000);
                CRecordingSink sink;
                RunConcurrentPass(list, sink, 2);
                return Count(Results(list).at(0));
            }};
        std::string strText;
        for (const auto& fnConnect : connects) {
            RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [&] {
                SetSysctl("net/ipv4/ip_local_port_range", "40000 40000");
                return fnConnect();
            });
            strText += text;
        }
        auto outcomes = ParseOutcomes(strText);
        ASSERT_EQ(outcomes.size(), 3u) << strText;
        ASSERT_EQ(outcomes[0].nResult, 1) << pszAddress << ": a plain connect here reaches itself";
        EXPECT_EQ(outcomes[1].nResult, 0) << pszAddress;
        EXPECT_EQ(outcomes[2].nResult, 0) << pszAddress << ", concurrent pass";
    }
}

// client (198.51.100.2) -- router (198.51.100.1 | 203.0.113.254) -- host (203.0.113.1),
// and over IPv6 fd00:1::2 -- fd00:1::1 | fd00:2::fe -- fd00:2::1. The router
// forwards to the host and answers "unreachable" for 192.0.2.1 and fd00:99::/64.
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
        ASSERT_TRUE(m_namespaces.Link(m_strClient, "oc0", "198.51.100.2/24 fd00:1::2/64",
                                      m_strRouter, "or0", "198.51.100.1/24 fd00:1::1/64"));
        ASSERT_TRUE(m_namespaces.Link(m_strRouter, "or1", "203.0.113.254/24 fd00:2::fe/64",
                                      m_strHost, "oh0", "203.0.113.1/24 fd00:2::1/64"));
        ASSERT_TRUE(m_namespaces.Exec(m_strClient, "ip route add default via 198.51.100.1 && "
                                                   "ip -6 route add default via fd00:1::1"));
        ASSERT_TRUE(m_namespaces.Exec(m_strHost, "ip route add default via 203.0.113.254 && "
                                                 "ip -6 route add default via fd00:2::fe"));
        ASSERT_TRUE(m_namespaces.Exec(m_strRouter, "sysctl -qw net.ipv4.ip_forward=1 && "
                                                   "sysctl -qw net.ipv4.icmp_ratelimit=0 && "
                                                   "sysctl -qw net.ipv6.conf.all.forwarding=1 && "
                                                   "sysctl -qw net.ipv6.icmp.ratelimit=0 && "
                                                   "ip route add unreachable 192.0.2.1 && "
                                                   "ip -6 route add unreachable fd00:99::/64"));
    }

    std::vector<SProbeOutcome> ProbeFromClient(const std::string& strPingGroups, int nTtl,
                                               int nMode, const char* pszAddress, int nPort) {
        std::string strSkip;
        std::string text = RunInNetworkNamespace(
            m_strClient,
            [&] {
                SetSysctl("net/ipv4/ping_group_range", strPingGroups);
                SetSysctl("net/ipv4/ip_default_ttl", std::to_string(nTtl));
                SetSysctl("net/ipv6/conf/oc0/hop_limit", std::to_string(nTtl));
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
        EXPECT_EQ(outcomes[0].nResult, 0) << pszAddress << " ping_group_range " << pszPingGroups;
        EXPECT_LT(outcomes[0].dMs, kWellBeforeTimeoutMs)
            << pszAddress << " ping_group_range " << pszPingGroups;
    }

    CNamespaceSet m_namespaces;
    std::string m_strClient, m_strRouter, m_strHost;
};

TEST_F(RoutedNamespaceProbe, HostBehindTheRouterAnswers) {
    for (const char* pszHost : {"203.0.113.1", "fd00:2::1"})
        for (const char* pszGroups : {kNoGroups, kAllGroups}) {
            auto outcomes = ProbeFromClient(pszGroups, 64, 0, pszHost, 0);
            ASSERT_EQ(outcomes.size(), 1u);
            EXPECT_EQ(outcomes[0].nResult, 1) << pszHost << " ping_group_range " << pszGroups;
        }
}

TEST_F(RoutedNamespaceProbe, DestinationUnreachableIsNoResponse) {
    for (const char* pszTarget : {"192.0.2.1", "fd00:99::1"}) {
        for (const char* pszGroups : {kNoGroups, kAllGroups})
            ExpectFailureAtOnce(pszGroups, 64, 0, pszTarget, 0);
        ExpectFailureAtOnce(kNoGroups, 64, 1, pszTarget, 80);
    }
}

// With a time-to-live (hop limit) of 1 the router answers "time exceeded" instead.
TEST_F(RoutedNamespaceProbe, TimeExceededIsNoResponse) {
    for (const char* pszHost : {"203.0.113.1", "fd00:2::1"})
        for (const char* pszGroups : {kNoGroups, kAllGroups})
            ExpectFailureAtOnce(pszGroups, 1, 0, pszHost, 0);
}
