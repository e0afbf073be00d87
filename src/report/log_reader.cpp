// SPDX-License-Identifier: Apache-2.0
#include "report/log_reader.h"

#include "check/host_address.h"
#include "check/log_record.h"
#include "report/log_stream.h"
#include "report/target_table.h"
#include "report/target_tally.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>

namespace {
// A target left out by --target.
constexpr int32_t kLeftOut = -1;

class CLogReader {
public:
    explicit CLogReader(const CReportFilter& filter) : m_filter(filter) {}

    // One record of `stream`, in time order over all streams.
    void Add(CLogStream& stream, const CLogLine& line) {
        if ((m_filter.m_since && line.m_tTime < *m_filter.m_since) ||
            (m_filter.m_until && line.m_tTime > *m_filter.m_until))
            return;
        int32_t entry = line.m_bExpected ? stream.ExpectedEntry()
                                         : m_table.Find(line.m_key, stream.LastEntry());
        if (entry < 0) {
            const std::optional<int32_t> added = AddTarget(line.m_key);
            if (!added) {
                stream.SkipLine();
                return;
            }
            entry = m_table.Insert(line.m_key, *added);
            m_table.Link(stream.LastEntry(), entry);
        }
        stream.Note(entry, m_table.NextKey(entry), m_table.NextOf(entry));
        const int32_t index = m_table.Value(entry);
        if (index != kLeftOut)
            m_tallies[static_cast<size_t>(index)].Add(line.m_tTime, line.m_bOk);
    }

    std::vector<CTargetFacts> Finish() {
        std::vector<CTargetFacts> targets;
        for (CTargetTally& tally : m_tallies)
            targets.push_back(tally.Finish());
        std::sort(targets.begin(), targets.end(), [](const auto& a, const auto& b) {
            return std::tie(a.m_strAddress, a.m_nMode, a.m_nPort) <
                   std::tie(b.m_strAddress, b.m_nMode, b.m_nPort);
        });
        return targets;
    }

private:
    std::optional<int32_t> AddTarget(std::string_view key) {
        std::optional<SLogTarget> target = ParseLogTarget(key);
        if (!target)
            return std::nullopt;
        // An IPv6 address matches with or without the brackets it was stored in.
        if ((m_filter.m_strAddress &&
             WithoutIpv6Brackets(target->strAddress) != *m_filter.m_strAddress &&
             target->strAddress != *m_filter.m_strAddress) ||
            (m_filter.m_nPort && target->nPort != *m_filter.m_nPort))
            return kLeftOut;
        m_tallies.emplace_back(std::move(target->strAddress), target->nMode, target->nPort);
        return static_cast<int32_t>(m_tallies.size() - 1);
    }

    const CReportFilter& m_filter;
    CTargetTable m_table;
    std::vector<CTargetTally> m_tallies;
};

// Feeds the records of all streams to `reader` in time order: each file is
// in time order by itself (the clock makes it so), and a k-way merge keeps
// the heads of the files in a heap, earliest first, the earlier file first
// at equal times.
void Merge(std::vector<std::unique_ptr<CLogStream>>& streams, CLogReader& reader) {
    if (streams.size() == 1) {
        CLogLine line;
        while (streams[0]->Next(line))
            reader.Add(*streams[0], line);
        return;
    }
    std::vector<CLogLine> heads(streams.size());
    std::vector<size_t> heap;
    const auto later = [&](size_t a, size_t b) {
        return heads[a].m_tTime != heads[b].m_tTime ? heads[a].m_tTime > heads[b].m_tTime : a > b;
    };
    for (size_t i = 0; i < streams.size(); ++i)
        if (streams[i]->Next(heads[i]))
            heap.push_back(i);
    std::make_heap(heap.begin(), heap.end(), later);
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), later);
        const size_t i = heap.back();
        reader.Add(*streams[i], heads[i]);
        if (streams[i]->Next(heads[i]))
            std::push_heap(heap.begin(), heap.end(), later);
        else
            heap.pop_back();
    }
}

std::string ErrorText(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}
} // namespace

std::string ReadLogs(const std::vector<std::string>& paths, const CReportFilter& filter,
                     CReport& report) {
    std::vector<std::unique_ptr<CLogStream>> streams;
    for (const std::string& path : paths) {
        streams.push_back(std::make_unique<CLogStream>(path));
        if (int error = streams.back()->Open())
            return ErrorText(path, error);
    }
    CLogReader reader(filter);
    Merge(streams, reader);
    for (const auto& stream : streams) {
        if (stream->Error())
            return ErrorText(stream->Path(), stream->Error());
        if (stream->Skipped() && !report.m_nSkipped) {
            report.m_strSkippedFile = stream->Path();
            report.m_nSkippedLine = stream->FirstSkippedLine();
        }
        report.m_nSkipped += stream->Skipped();
        report.m_nClamped += stream->Clamped();
    }
    report.m_targets = reader.Finish();
    report.m_since = filter.m_since;
    report.m_until = filter.m_until;
    return {};
}
