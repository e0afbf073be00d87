// SPDX-License-Identifier: Apache-2.0
// Once the kernel has refused this process an ICMP datagram socket, echo
// probes go straight to the raw socket instead of asking again each time.
// The test binary's own socket() sees every socket the probes ask for.
#include "check/concurrent/concurrent_pass.h"
#include "check/status_sink.h"
#include "model/item_list.h"
#include "scripted_hosts.h"
#include "support/private_network_or_skip.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>

namespace {
std::atomic<int> g_nDatagramIcmpAsked{0};
} // namespace

extern "C" int socket(int nDomain, int nType, int nProtocol) {
    using Socket = int (*)(int, int, int);
    static const auto pfnReal = reinterpret_cast<Socket>(dlsym(RTLD_NEXT, "socket"));
    if (nDomain == AF_INET && (nType & 0xf) == SOCK_DGRAM && nProtocol == IPPROTO_ICMP)
        ++g_nDatagramIcmpAsked;
    return pfnReal(nDomain, nType, nProtocol);
}

namespace {
class CNullSink : public CStatusSink {
public:
    void ShowResult(int, const SRowResult&) override {}
};

// In a namespace where nobody may have a datagram socket: probes one at a
// time and many at once; "ANSWERED ASKED".
std::string ProbeWithDatagramsRefused() {
    if (!SetSysctl("net/ipv4/ping_group_range", kRawSocketGroups))
        return "set-up failed\n";
    // The parent's count (and what it learnt) came along with the fork.
    const int nAskedBefore = g_nDatagramIcmpAsked;
    CItemList list;
    for (int i = 0; i < 20; ++i) {
        auto* pItem = new CItem;
        pItem->m_nMode = kProbeIcmp;
        pItem->m_strAddress = "127.0.0." + std::to_string(i + 1);
        list.AddTail(pItem);
    }
    int nAnswered = 0;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        nAnswered += list.GetNext(pos)->Probe();
    CNullSink sink;
    RunConcurrentPass(list, sink, 8);
    for (POSITION pos = list.GetHeadPosition(); pos;)
        nAnswered += list.GetNext(pos)->m_bOk;
    return std::to_string(nAnswered) + " " + std::to_string(g_nDatagramIcmpAsked - nAskedBefore) +
           "\n";
}
} // namespace

TEST(IcmpSocketKind, RefusedDatagramSocketIsAskedForOnce) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, ProbeWithDatagramsRefused);
    int nAnswered = -1, nAsked = -1;
    std::sscanf(text.c_str(), "%d %d", &nAnswered, &nAsked);
    EXPECT_EQ(nAnswered, 40) << "every echo through the raw socket";
    EXPECT_LE(nAsked, 1) << "the refused datagram socket was asked for again";
}
