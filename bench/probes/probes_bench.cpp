// SPDX-License-Identifier: Apache-2.0
// A check pass over 1,000 loopback targets through the real worker, beside
// plain C loops doing the same connects and echoes: the limit.
//   TCP: 500 listening ports and 500 refusing ones, alternately.
//   ICMP: 1,000 echoes to 127.0.0.1, then to ::1, by raw socket and by
//   datagram socket.
// The per_probe counter is the (wall) time of one probe; the CPU column is the
// processor time of the whole process, the pass's worker thread included, so
// on a busy machine it compares the pass with the plain loop where the wall
// time cannot.
#include "check/check_worker.h"
#include "check/status_sink.h"
#include "loopback_targets.h"
#include "model/item_list.h"
#include "plain_probes.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {
constexpr int kTargets = 1000;
// Each TCP pass leaves its 500 connections waiting out TIME_WAIT on a local
// port; a fixed count keeps a run well inside the local port range.
constexpr int kTcpIterations = 8;
constexpr int kIcmpIterations = 5;

bool g_bRoot = false;

// Each run starts in a network namespace of its own when it can, so no run
// meets the local ports that an earlier one left in TIME_WAIT (binding to
// port 0 grows slower as those fill the port range).
void EnterFreshNetwork(benchmark::State& state) {
    if (g_bRoot && !EnterPrivateNetwork())
        state.SkipWithError("cannot make a network namespace");
}

class CCountingSink : public CStatusSink {
public:
    void ShowResult(int, const SRowResult& result) override { m_nYes += result.nResult != 0; }
    int m_nYes = 0;
};

in_addr Loopback() {
    in_addr address{};
    address.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void SetPerProbe(benchmark::State& state) {
    state.counters["per_probe"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kTargets),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void RunPass(benchmark::State& state, CItemList& list, int nExpectedYes,
             CLoopbackTargets* pTargets) {
    for (auto _ : state) {
        CCountingSink sink;
        RunCheckPass(list, sink);
        state.PauseTiming();
        if (pTargets)
            pTargets->DrainConnections();
        state.ResumeTiming();
        if (sink.m_nYes != nExpectedYes) {
            state.SkipWithError("a probe gave an unexpected result");
            break;
        }
    }
    SetPerProbe(state);
}

// The ICMP runs' parameters: the socket kind (0 raw, 1 datagram) and the
// address family (4 for 127.0.0.1, 6 for ::1).
bool IsIpv6(const benchmark::State& state) {
    return state.range(1) == 6;
}

bool UsePingGroups(benchmark::State& state) {
    const bool bDatagram = state.range(0) == 1;
    EnterFreshNetwork(state);
    if (!g_bRoot) {
        state.SkipWithError("needs the benchmark's own network namespace (run as root)");
        return false;
    }
    SetPingGroupRange(bDatagram ? "0 2147483647\n" : "1 0\n");
    state.SetLabel(std::string(bDatagram ? "datagram socket" : "raw socket") +
                   (IsIpv6(state) ? ", ::1" : ", 127.0.0.1"));
    return true;
}

void BM_PassTcp(benchmark::State& state) {
    EnterFreshNetwork(state);
    CLoopbackTargets targets(kTargets / 2);
    CItemList list;
    for (int nPort : targets.Ports()) {
        auto* pItem = new CItem;
        pItem->m_strAddress = "127.0.0.1";
        pItem->m_nPort = nPort;
        list.AddTail(pItem);
    }
    RunPass(state, list, kTargets / 2, &targets);
}

void BM_PlainTcp(benchmark::State& state) {
    EnterFreshNetwork(state);
    CLoopbackTargets targets(kTargets / 2);
    for (auto _ : state) {
        int nConnected = 0;
        for (int nPort : targets.Ports())
            nConnected += PlainConnect(Loopback(), nPort);
        state.PauseTiming();
        if (nConnected != kTargets / 2)
            state.SkipWithError("a connect gave an unexpected result");
        targets.DrainConnections();
        state.ResumeTiming();
    }
    SetPerProbe(state);
}

void BM_PassIcmp(benchmark::State& state) {
    if (!UsePingGroups(state))
        return;
    CItemList list;
    for (int i = 0; i < kTargets; ++i) {
        auto* pItem = new CItem;
        pItem->m_nMode = kProbeIcmp;
        pItem->m_strAddress = IsIpv6(state) ? "::1" : "127.0.0.1";
        list.AddTail(pItem);
    }
    RunPass(state, list, kTargets, nullptr);
}

void BM_PlainIcmp(benchmark::State& state) {
    if (!UsePingGroups(state))
        return;
    unsigned short nSequence = 0;
    for (auto _ : state) {
        int nAnswered = 0;
        for (int i = 0; i < kTargets; ++i)
            nAnswered += IsIpv6(state) ? PlainEcho6(in6addr_loopback, ++nSequence)
                                       : PlainEcho(Loopback(), ++nSequence);
        if (nAnswered != kTargets)
            state.SkipWithError("an echo went unanswered");
    }
    SetPerProbe(state);
}
} // namespace

BENCHMARK(BM_PassTcp)
    ->Iterations(kTcpIterations)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_PlainTcp)
    ->Iterations(kTcpIterations)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_PassIcmp)
    ->ArgsProduct({{1, 0}, {4, 6}})
    ->Iterations(kIcmpIterations)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_PlainIcmp)
    ->ArgsProduct({{1, 0}, {4, 6}})
    ->Iterations(kIcmpIterations)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

int main(int argc, char** argv) {
    g_bRoot = geteuid() == 0;
    std::fprintf(stderr, "probes_bench: %s\n",
                 g_bRoot ? "each run in a network namespace of its own"
                         : "on the host's loopback (not root: ICMP runs skipped)");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
