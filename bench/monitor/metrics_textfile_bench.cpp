// SPDX-License-Identifier: Apache-2.0
// Formats and writes the metrics textfile of a pass over 100,000 targets:
// the text alone, and the whole write (temporary file, fsync, rename) to
// /dev/shm (tmpfs) and to /var/tmp (the disk).
#include "monitor/metrics_textfile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
constexpr size_t kTargets = 100'000;

struct SPass {
    CItemList list;
    SPassMetrics metrics;
};

// Targets named as in a real list, a third of them ICMP, one in 50 down,
// with probe times of a few milliseconds.
const SPass& Pass() {
    static SPass* pass = [] {
        auto* p = new SPass;
        for (size_t i = 0; i < kTargets; ++i) {
            auto* item = new CItem;
            item->m_strAddress = "server-" + std::to_string(i) + ".branch.example.com";
            item->m_nMode = i % 3 ? kProbeTcp : kProbeIcmp;
            item->m_nPort = i % 3 == 1 ? 443 : 22;
            item->m_bOk = i % 50 != 0;
            p->list.AddTail(item);
            p->metrics.probeSeconds.push_back(0.001 + static_cast<double>(i % 997) * 1.3e-5);
        }
        p->metrics.dPassSeconds = 61.25;
        p->metrics.dEndUnixSeconds = 1765200000.123456;
        return p;
    }();
    return *pass;
}

void BM_FormatMetricsText(benchmark::State& state) {
    size_t nBytes = 0;
    for (auto _ : state) {
        const std::string text = FormatMetricsText(Pass().list, Pass().metrics);
        nBytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(nBytes);
    state.SetBytesProcessed(static_cast<int64_t>(nBytes * state.iterations()));
}
BENCHMARK(BM_FormatMetricsText)->Unit(benchmark::kMillisecond);

void BM_WriteMetricsTextfile(benchmark::State& state, const char* pszFolder) {
    const std::string path =
        std::string(pszFolder) + "/ostrel-bench-" + std::to_string(getpid()) + ".prom";
    for (auto _ : state) {
        std::string error;
        if (!WriteMetricsTextfile(path, Pass().list, Pass().metrics, error))
            state.SkipWithError(error.c_str());
    }
    std::remove(path.c_str());
}
BENCHMARK_CAPTURE(BM_WriteMetricsTextfile, dev_shm, "/dev/shm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteMetricsTextfile, var_tmp, "/var/tmp")->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
