// SPDX-License-Identifier: Apache-2.0
// Probes are safe to run on several threads at once: each matches only its
// own reply, even on raw sockets that see every ICMP packet of the host.
#include "icmp_access.h"
#include "model/item.h"
#include "support/loopback_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {
// Runs `nPerThread` probes of `item` on each of `nThreads` threads; the number
// that gave `nExpected`.
int CountResults(const CItem& item, int nThreads, int nPerThread, int32_t nExpected) {
    std::atomic<int> nMatching{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < nThreads; ++i)
        threads.emplace_back([&] {
            for (int j = 0; j < nPerThread; ++j)
                if (item.Probe() == nExpected)
                    ++nMatching;
        });
    for (std::thread& thread : threads)
        thread.join();
    return nMatching;
}
} // namespace

TEST(ConcurrentProbes, EchoesEachMatchTheirOwnReply) {
    if (!CanOpenIcmpSocket())
        GTEST_SKIP() << "no ICMP socket: net.ipv4.ping_group_range excludes us and no CAP_NET_RAW";
    CItem item;
    item.m_nMode = 0;
    item.m_strAddress = "127.0.0.1";
    EXPECT_EQ(CountResults(item, 6, 50, 1), 300);
}

TEST(ConcurrentProbes, ConnectsGiveTheirOwnOutcome) {
    CLoopbackPort listening(true), refusing(false);
    CItem open, closed;
    open.m_strAddress = closed.m_strAddress = "127.0.0.1";
    open.m_nPort = listening.Port();
    closed.m_nPort = refusing.Port();
    int nOpen = 0, nClosed = 0;
    std::thread opener([&] { nOpen = CountResults(open, 3, 40, 1); });
    std::thread closer([&] { nClosed = CountResults(closed, 3, 40, 0); });
    opener.join();
    closer.join();
    EXPECT_EQ(nOpen, 120);
    EXPECT_EQ(nClosed, 120);
}
