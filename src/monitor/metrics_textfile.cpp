// SPDX-License-Identifier: Apache-2.0
#include "monitor/metrics_textfile.h"

#include "framework/control_bytes.h"
#include "framework/exception.h"
#include "framework/utf8_text.h"
#include "storage/file_replacer.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <type_traits>

namespace {
constexpr const char* kTargetUp = "ostrel_target_up";
constexpr const char* kProbeDuration = "ostrel_probe_duration_seconds";

// Room for one target's two samples besides its address: names, labels and
// values at their longest.
constexpr size_t kTargetBytes = 256;

void AppendHeader(std::string& out, const char* pszName, const char* pszHelp) {
    out += "# HELP ";
    out += pszName;
    out += ' ';
    out += pszHelp;
    out += "\n# TYPE ";
    out += pszName;
    out += " gauge\n";
}

template <class T> void AppendNumber(std::string& out, T value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

// The format's spellings of the values that are not finite numbers.
void AppendValue(std::string& out, double value) {
    if (std::isnan(value))
        out += "NaN";
    else if (std::isinf(value))
        out += value > 0 ? "+Inf" : "-Inf";
    else
        AppendNumber(out, value);
}

// `bytes`, a list's Windows-1252 text, as a label value between its quotes:
// UTF-8, with the three characters the format requires escaped.
void AppendLabelValue(std::string& out, std::string_view bytes) {
    const auto plain = [](unsigned char c) {
        return c < 0x80 && c != '\\' && c != '"' && c != '\n';
    };
    size_t nPlain = 0;
    while (nPlain < bytes.size() && plain(static_cast<unsigned char>(bytes[nPlain])))
        ++nPlain;
    out.append(bytes.substr(0, nPlain));
    if (nPlain == bytes.size())
        return;
    std::string text;
    AppendUtf8FromWindows1252(text, bytes.substr(nPlain), EControls::kKept);
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

void AppendTargetSample(std::string& out, const char* pszName, size_t nRow, const CItem& item) {
    out += pszName;
    out += "{row=\"";
    AppendNumber(out, nRow);
    out += "\",address=\"";
    AppendLabelValue(out, item.m_strAddress);
    out += item.IsIcmp() ? "\",mode=\"icmp\",port=\"" : "\",mode=\"tcp\",port=\"";
    AppendNumber(out, item.m_nPort);
    out += "\"} ";
}

// A per-target gauge of integers, one for each target up to the end of
// `values`; nothing at all when `values` is empty.
void AppendTargetCounts(std::string& out, const char* pszName, const char* pszHelp,
                        const CItemList& list, const std::vector<int32_t>& values) {
    if (values.empty())
        return;
    AppendHeader(out, pszName, pszHelp);
    size_t nRow = 0;
    for (POSITION pos = list.GetHeadPosition(); pos && nRow < values.size();) {
        AppendTargetSample(out, pszName, nRow + 1, *list.GetNext(pos));
        AppendNumber(out, values[nRow++]);
        out += '\n';
    }
}

// The round trip and loss of each target of a pass that measured them.
void AppendMeasures(std::string& out, const CItemList& list,
                    const std::vector<STargetMeasure>& measures) {
    if (measures.empty())
        return;
    AppendHeader(out, "ostrel_target_rtt_seconds",
                 "Average round trip of the target's answered probes in the last pass.");
    size_t nRow = 0;
    for (POSITION pos = list.GetHeadPosition(); pos && nRow < measures.size(); ++nRow) {
        const CItem& item = *list.GetNext(pos);
        if (measures[nRow].nReceived == 0)
            continue;
        AppendTargetSample(out, "ostrel_target_rtt_seconds", nRow + 1, item);
        AppendValue(out, measures[nRow].RttAverage());
        out += '\n';
    }
    AppendHeader(out, "ostrel_target_loss_ratio",
                 "Share of the target's probes that went unanswered in the last pass.");
    nRow = 0;
    for (POSITION pos = list.GetHeadPosition(); pos && nRow < measures.size(); ++nRow) {
        AppendTargetSample(out, "ostrel_target_loss_ratio", nRow + 1, *list.GetNext(pos));
        AppendValue(out, measures[nRow].LossRatio());
        out += '\n';
    }
}

// A metric of the whole pass: a count, written as an integer, or a time.
template <class T>
void AppendPassMetric(std::string& out, const char* pszName, const char* pszHelp, T value) {
    AppendHeader(out, pszName, pszHelp);
    out += pszName;
    out += ' ';
    if constexpr (std::is_floating_point_v<T>)
        AppendValue(out, value);
    else
        AppendNumber(out, value);
    out += '\n';
}
} // namespace

std::string FormatMetricsText(const CItemList& list, const SPassMetrics& metrics) {
    size_t nAddressBytes = 0;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        nAddressBytes += list.GetNext(pos)->m_strAddress.size();
    std::string out;
    const size_t nSeries = metrics.measures.empty() ? 2 : 4;
    out.reserve(1024 + list.GetCount() * kTargetBytes * nSeries / 2 + nSeries * nAddressBytes);

    AppendHeader(out, kTargetUp, "Whether the target responded in the last pass (1) or not (0).");
    size_t nRow = 0, nFailed = 0;
    for (POSITION pos = list.GetHeadPosition(); pos;) {
        const CItem& item = *list.GetNext(pos);
        AppendTargetSample(out, kTargetUp, ++nRow, item);
        out += item.m_bOk != 0 ? "1\n" : "0\n";
        nFailed += item.m_bOk == 0;
    }
    AppendHeader(out, kProbeDuration, "How long the target's probe took in the last pass.");
    nRow = 0;
    for (POSITION pos = list.GetHeadPosition(); pos && nRow < metrics.probeSeconds.size();) {
        AppendTargetSample(out, kProbeDuration, nRow + 1, *list.GetNext(pos));
        AppendValue(out, metrics.probeSeconds[nRow++]);
        out += '\n';
    }
    AppendMeasures(out, list, metrics.measures);
    AppendTargetCounts(
        out, "ostrel_target_consecutive_failures",
        "Failed passes in a row charged to the target (none while the link is down).", list,
        metrics.consecutiveFailures);
    AppendTargetCounts(out, "ostrel_target_down",
                       "Whether the target counts as down for alerting (1) or not (0).", list,
                       metrics.down);
    if (metrics.linkUp)
        AppendPassMetric(out, "ostrel_link_up",
                         "Whether a canary answered in the last pass (1) or none did (0).",
                         *metrics.linkUp ? 1 : 0);

    AppendPassMetric(out, "ostrel_pass_duration_seconds", "How long the last pass took.",
                     metrics.dPassSeconds);
    AppendPassMetric(out, "ostrel_pass_targets", "How many targets the last pass checked.",
                     list.GetCount());
    AppendPassMetric(out, "ostrel_pass_failed_targets",
                     "How many targets did not respond in the last pass.", nFailed);
    AppendPassMetric(out, "ostrel_pass_end_timestamp_seconds",
                     "When the last pass ended, in seconds since the Unix epoch.",
                     metrics.dEndUnixSeconds);
    return out;
}

bool WriteMetricsTextfile(const std::string& strPath, const CItemList& list,
                          const SPassMetrics& metrics, std::string& strError) {
    if (metrics.probeSeconds.size() != list.GetCount()) {
        strError = "the pass gave " + std::to_string(metrics.probeSeconds.size()) +
                   " probe durations for " + std::to_string(list.GetCount()) + " targets";
        return false;
    }
    const std::string text = FormatMetricsText(list, metrics);
    try {
        CFileReplacer file(strPath, nullptr, CFileReplacer::EMode::kWholeOnly);
        file.File().Write(text.data(), text.size());
        file.Commit();
    } catch (const CFileException& e) {
        strError = EscapeControlBytes(e.GetErrorMessage());
        return false;
    }
    return true;
}
