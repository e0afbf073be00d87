// SPDX-License-Identifier: Apache-2.0
// A silent target that floods the prober with ICMP that is not about its
// request (echo replies and errors with the request's identifier but other
// sequences): the probe still gives 0 when its 10 s are up, not later.
#include "scripted_hosts.h"
#include "support/private_network_or_skip.h"

#include <gtest/gtest.h>

namespace {
constexpr double kTimeoutMs = 10000;
constexpr double kMarginMs = 1000;
// Fewer flood packets than this would not have tested much.
constexpr long long kLeastFlood = 10000;

void ExpectFloodDoesNotOutrunTheDeadline(const char* pszPingGroups) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [&] {
        if (!SetSysctl("net/ipv4/ping_group_range", pszPingGroups) ||
            !SetSysctl("net/ipv4/icmp_echo_ignore_all", "1"))
            return std::string("set-up failed\n");
        CScriptedHosts hosts({{.pszAddress = "127.0.0.2", .bFlood = true}});
        if (!hosts.IsReady())
            return std::string("no raw sockets\n");
        std::string strOut = TimeProbe(0, "127.0.0.2");
        hosts.Stop();
        return strOut + std::to_string(hosts.FloodSent()) + " 0\n";
    });
    auto outcomes = ParseOutcomes(text);
    ASSERT_EQ(outcomes.size(), 2u) << text;
    EXPECT_EQ(outcomes[0].nResult, 0);
    EXPECT_GE(outcomes[0].dMs, kTimeoutMs);
    EXPECT_LT(outcomes[0].dMs, kTimeoutMs + kMarginMs) << "the flood held the probe";
    EXPECT_GE(outcomes[1].nResult, kLeastFlood) << "packets flooded";
}
} // namespace

TEST(EchoFlood, RawSocketKeepsItsDeadline) {
    ExpectFloodDoesNotOutrunTheDeadline(kRawSocketGroups);
}

TEST(EchoFlood, DatagramSocketKeepsItsDeadline) {
    ExpectFloodDoesNotOutrunTheDeadline(kDatagramSocketGroups);
}
