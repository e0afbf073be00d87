// SPDX-License-Identifier: Apache-2.0
// Writes and reads a list of 1,000,000 targets through the list file code,
// in memory (CMemFile) and as a real file in /dev/shm, beside a plain loop
// that encodes the same bytes from, and decodes them into, a std::vector of
// plain structs: the limit for this format on this machine.
#include "framework/mem_file.h"
#include "storage/list_file.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr size_t kTargets = 1'000'000;

struct PlainTarget {
    int32_t ok;
    int32_t mode;
    std::string address;
    int32_t port;
};

std::string Address(size_t i) {
    return "10." + std::to_string(i >> 16 & 255) + "." + std::to_string(i >> 8 & 255) + "." +
           std::to_string(i & 255);
}

const CItemList& BigList() {
    static CItemList* list = [] {
        auto* l = new CItemList;
        for (size_t i = 0; i < kTargets; ++i) {
            auto* item = new CItem;
            item->m_bOk = static_cast<int32_t>(i & 1);
            item->m_nMode = static_cast<int32_t>(i % 3 != 0);
            item->m_strAddress = Address(i);
            item->m_nPort = static_cast<int32_t>(i % 65536);
            l->AddTail(item);
        }
        return l;
    }();
    return *list;
}

const std::vector<PlainTarget>& PlainTargets() {
    static std::vector<PlainTarget> targets = [] {
        std::vector<PlainTarget> t;
        for (POSITION pos = BigList().GetHeadPosition(); pos;) {
            const CItem* item = BigList().GetNext(pos);
            t.push_back({item->m_bOk, item->m_nMode, item->m_strAddress, item->m_nPort});
        }
        return t;
    }();
    return targets;
}

const std::vector<uint8_t>& ListBytes() {
    static std::vector<uint8_t> bytes = [] {
        CMemFile file;
        WriteList(file, BigList());
        return file.Data();
    }();
    return bytes;
}

// ---- the plain loop: the same bytes, no objects, no archive ----

void Put(std::vector<uint8_t>& out, const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}
void Put32(std::vector<uint8_t>& out, int32_t v) {
    Put(out, &v, 4);
} // little-endian host
void PutString(std::vector<uint8_t>& out, const std::string& s) {
    out.push_back(static_cast<uint8_t>(s.size())); // the bench's strings are short
    Put(out, s.data(), s.size());
}

std::vector<uint8_t> PlainEncode(const std::vector<PlainTarget>& targets) {
    static const uint8_t kHead[] = {0xFF, 0xFF, 0,   0, 9, 0, 'C', 'I', 't', 'e', 'm',  'L',
                                    'i',  's',  't', 1, 0, 0, 0,   0,   0,   15,  0,    0,
                                    0,    0,    0,   0, 0, 0, 0,   0,   0,   0,   0xFF, 0xFF};
    static const uint8_t kItemClass[] = {0xFF, 0xFF, 0, 0, 5, 0, 'C', 'I', 't', 'e', 'm'};
    static const uint8_t kItemRef[] = {0x03, 0x80};
    size_t size = sizeof kHead + 4 + sizeof kItemClass - sizeof kItemRef;
    for (const PlainTarget& t : targets)
        size += sizeof kItemRef + 13 + t.address.size();
    std::vector<uint8_t> out;
    out.reserve(size);
    Put(out, kHead, sizeof kHead);
    Put32(out, static_cast<int32_t>(targets.size()));
    for (size_t i = 0; i < targets.size(); ++i) {
        if (i == 0)
            Put(out, kItemClass, sizeof kItemClass);
        else
            Put(out, kItemRef, sizeof kItemRef);
        Put32(out, targets[i].ok);
        Put32(out, targets[i].mode);
        PutString(out, targets[i].address);
        Put32(out, targets[i].port);
    }
    return out;
}

void PlainDecodeInto(const std::vector<uint8_t>& bytes, std::vector<PlainTarget>& targets) {
    const uint8_t* p = bytes.data() + 36;
    uint32_t count;
    std::memcpy(&count, p, 4);
    p += 4;
    targets.clear();
    targets.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        p += i == 0 ? 11 : 2;
        PlainTarget t;
        std::memcpy(&t.ok, p, 4);
        std::memcpy(&t.mode, p + 4, 4);
        const size_t n = p[8];
        t.address.assign(reinterpret_cast<const char*>(p + 9), n);
        std::memcpy(&t.port, p + 9 + n, 4);
        p += 13 + n;
        targets.push_back(std::move(t));
    }
}

std::vector<PlainTarget> PlainDecode(const std::vector<uint8_t>& bytes) {
    std::vector<PlainTarget> targets;
    PlainDecodeInto(bytes, targets);
    return targets;
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ListBytes().size()));
    state.counters["targets"] = static_cast<double>(kTargets);
}

// ---- benchmarks ----

void BM_PlainWrite(benchmark::State& state) {
    const auto& targets = PlainTargets();
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainEncode(targets));
    SetBytes(state);
}

void BM_PlainRead(benchmark::State& state) {
    const auto& bytes = ListBytes();
    for (auto _ : state) {
        auto targets = PlainDecode(bytes);
        benchmark::DoNotOptimize(targets.data());
        state.PauseTiming(); // freeing the result is not reading
        targets = {};
        state.ResumeTiming();
    }
    SetBytes(state);
}

// Decoding alone: the vector keeps its memory from one run to the next.
void BM_PlainReadReusingVector(benchmark::State& state) {
    const auto& bytes = ListBytes();
    std::vector<PlainTarget> targets;
    for (auto _ : state) {
        PlainDecodeInto(bytes, targets);
        benchmark::DoNotOptimize(targets.data());
    }
    SetBytes(state);
}

void BM_WriteListToMemory(benchmark::State& state) {
    const CItemList& list = BigList();
    for (auto _ : state) {
        CMemFile file;
        file.Reserve(ListBytes().size()); // as the plain loop does
        WriteList(file, list);
        benchmark::DoNotOptimize(file.Data().data());
    }
    SetBytes(state);
}

void BM_ReadListFromMemory(benchmark::State& state) {
    const auto& bytes = ListBytes();
    for (auto _ : state) {
        state.PauseTiming();
        CMemFile file(bytes); // a copy of the bytes to read from
        state.ResumeTiming();
        auto list = ReadList(file);
        benchmark::DoNotOptimize(list.get());
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
    SetBytes(state);
}

std::string ShmPath() {
    return "/dev/shm/ostrel-bench-" + std::to_string(::getpid()) + ".osl";
}

void BM_WriteListFile(benchmark::State& state) {
    const CItemList& list = BigList();
    const std::string path = ShmPath();
    for (auto _ : state)
        WriteListFile(path, list);
    ::unlink(path.c_str());
    SetBytes(state);
}

void BM_ReadListFile(benchmark::State& state) {
    const std::string path = ShmPath();
    WriteListFile(path, BigList());
    for (auto _ : state) {
        auto list = ReadListFile(path);
        benchmark::DoNotOptimize(list.get());
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
    ::unlink(path.c_str());
    SetBytes(state);
}
} // namespace

BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteListToMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteListFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadReusingVector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadListFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadListFile)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
