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
void ExpectSilentEchoTimesOut(const char* pszPingGroups) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [&] {
        SetSysctl("net/ipv4/ping_group_range", pszPingGroups);
        SetSysctl("net/ipv4/icmp_echo_ignore_all", "1");
        return TimeProbe(0, "127.0.0.1");
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 1u) << text;
    EXPECT_EQ(outcomes[0].nResult, 0);
    EXPECT_GE(outcomes[0].dMs, 10000.0) << "waited the whole time";
}
} // namespace

TEST(SilentTarget, RawSocketWaitsOutTheTimeout) {
    ExpectSilentEchoTimesOut("1 0");
}

TEST(SilentTarget, DatagramSocketWaitsOutTheTimeout) {
    ExpectSilentEchoTimesOut("0 2147483647");
}

// A connect whose packets are dropped (a route that loops them back to a
// stack that does not own the address) ends as failed after the connect
// timeout, about 21 s, not Linux's 127 s: alone and in a concurrent pass.
TEST(SilentTarget, UnansweredConnectEndsAfterAboutTwentyOneSeconds) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] {
        if (std::system("ip route add 192.0.2.0/24 dev lo") != 0)
            return std::string("no route\n");
        auto sequential = std::async(std::launch::async, [] { return TimeProbe(1, "192.0.2.7"); });
        CItemList list;
        AddTarget(list, 1, "192.0.2.8");
        CRecordingSink sink;
        SPassOutcome outcome = RunConcurrentPass(list, sink, 4);
        return sequential.get() + std::to_string(outcome.allOk) + " " +
               std::to_string(outcome.probeSeconds.at(0) * 1000) + "\n";
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2u) << text;
    for (const SProbeOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.nResult, 0);
        EXPECT_GE(outcome.dMs, 19000.0) << text;
        EXPECT_LE(outcome.dMs, 25000.0) << text;
    }
}
