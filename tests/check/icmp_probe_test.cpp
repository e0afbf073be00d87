#include "model/item.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
bool CanOpenIcmpSocket() {
    for (int nType : {SOCK_DGRAM, SOCK_RAW}) {
        int nFd = socket(AF_INET, nType, IPPROTO_ICMP);
        if (nFd >= 0) {
            close(nFd);
            return true;
        }
    }
    return false;
}
} // namespace

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
