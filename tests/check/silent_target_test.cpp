// SPDX-License-Identifier: Apache-2.0
// Targets that never answer: an echo waits out its 10 s, a connect the
// connect timeout; both give 0.
#include "check/concurrent/concurrent_pass.h"
#include "recording_sink.h"
#include "support/private_network_or_skip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

namespace {
// 127.0.0.1 and ::1, probed at the same time, each wait out the deadline and
// then end.
void ExpectSilentEchoTimesOut(const char* pszPingGroups) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [&] {
        SetSysctl("net/ipv4/ping_group_range", pszPingGroups);
        SetSysctl("net/ipv4/icmp_echo_ignore_all", "1");
        SetSysctl("net/ipv6/icmp/echo_ignore_all", "1");
        auto ipv6 = std::async(std::launch::async, [] { return TimeProbe(0, "::1"); });
        std::string strOut = TimeProbe(0, "127.0.0.1");
        return strOut + ipv6.get();
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2u) << text;
    for (const SProbeOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.nResult, 0);
        EXPECT_GE(outcome.dMs, 10000.0) << "waited the whole time";
        EXPECT_LE(outcome.dMs, 15000.0) << "and then ended";
    }
}
} // namespace

TEST(SilentTarget, RawSocketWaitsOutTheTimeout) {
    ExpectSilentEchoTimesOut("1 0");
}

TEST(SilentTarget, DatagramSocketWaitsOutTheTimeout) {
    ExpectSilentEchoTimesOut("0 2147483647");
}

// A connect whose packets are dropped (a route that loops them back to a
// stack that does not own the address; over IPv6, addresses of lo whose
// packets a filter drops on the way in) ends as failed after the connect
// timeout, about 21 s, not Linux's 127 s: alone and in a concurrent pass.
TEST(SilentTarget, UnansweredConnectEndsAfterAboutTwentyOneSeconds) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] {
        if (std::system(("ip route add 192.0.2.0/24 dev lo && " +
                         AddressUp("2001:db8::6/128 2001:db8::7/128", "lo") +
                         " && nft 'add table ip6 t; add chain ip6 t i { type filter hook input "
                         "priority 0; }; add rule ip6 t i ip6 daddr 2001:db8::/64 drop'")
                            .c_str()) != 0)
            return std::string("no route\n");
        auto ipv4 = std::async(std::launch::async, [] { return TimeProbe(1, "192.0.2.7"); });
        auto ipv6 = std::async(std::launch::async, [] { return TimeProbe(1, "2001:db8::7"); });
        CItemList list;
        AddTarget(list, 1, "192.0.2.8");
        AddTarget(list, 1, "2001:db8::6");
        CRecordingSink sink;
        SPassOutcome outcome = RunConcurrentPass(list, sink, 4);
        std::string strOut = ipv4.get() + ipv6.get();
        for (const CRecordingSink::SRow& row : sink.m_rows)
            strOut +=
                std::to_string(outcome.allOk) + " " + std::to_string(row.dSeconds * 1000) + "\n";
        return strOut;
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 4u) << text;
    for (const SProbeOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.nResult, 0);
        EXPECT_GE(outcome.dMs, 19000.0) << text;
        EXPECT_LE(outcome.dMs, 25000.0) << text;
    }
}
