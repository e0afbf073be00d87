// SPDX-License-Identifier: Apache-2.0
#include "icmp_access.h"
#include "model/item.h"

#include <gtest/gtest.h>

TEST(IcmpProbe, LoopbackAnswers) {
    if (!CanOpenIcmpSocket())
        GTEST_SKIP() << "no ICMP socket: net.ipv4.ping_group_range excludes us and no CAP_NET_RAW";
    CItem item;
    item.m_nMode = 0;
    item.m_strAddress = "127.0.0.1";
    item.m_nPort = 9; // not used by an echo
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(item.Probe(), 1);
    item.m_strAddress = "localhost";
    EXPECT_EQ(item.Probe(), 1);
}
