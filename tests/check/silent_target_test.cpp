// A target that ignores echo requests: the probe waits out its 10 s and gives 0.
#include "support/private_network_or_skip.h"

#include <gtest/gtest.h>

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
