// SPDX-License-Identifier: Apache-2.0
#include "cli/probe_lines.h"

#include "framework/json_text.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {
// The address as the line shows it: also the bytes a shell's double quotes
// leave special are escaped, so that it can be pasted into a quoted word and
// mean only itself.
std::string ShownAddress(const CItem& item) {
    return VisibleText(item.m_strAddress, "\"\\$`");
}

// The characters of `shown`, which VisibleText made UTF-8 or ASCII: every
// byte but the continuation bytes of UTF-8 starts one.
size_t ShownWidth(const std::string& shown) {
    size_t nWidth = 0;
    for (const char c : shown)
        nWidth += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return nWidth;
}

// "%5d  ADDRESS  %-6s  %-3s  %.1f ms" and what a measuring pass adds: the address, whatever its
// length, goes in whole between the pieces around it, padded with blanks to `nWidth` characters,
// so the line always ends. Those pieces fit their buffers: a port has at most 11 characters and a
// duration, counted in 64-bit nanoseconds, at most 16.
std::string TextLine(int nRow, const CItem& item, size_t nWidth, const char* pszText, double dMs,
                     const std::string& strExtra) {
    const std::string strPort = item.IsIcmp() ? "ICMP" : std::to_string(item.m_nPort);
    char head[16], tail[64];
    std::snprintf(head, sizeof head, "%5d  ", nRow);
    std::snprintf(tail, sizeof tail, "  %-6s  %-3s  %.1f ms", strPort.c_str(), pszText, dMs);
    std::string strAddress = ShownAddress(item);
    strAddress.append(nWidth - std::min(nWidth, ShownWidth(strAddress)), ' ');
    return head + strAddress + tail + strExtra + "\n";
}

const char* FailedByName(EFailedBy failedBy) {
    return failedBy == EFailedBy::kLoss ? "loss" : failedBy == EFailedBy::kRtt ? "rtt" : nullptr;
}

// "  RTT ms  R/S received  L% loss  min/avg/max A/B/C ms[  failed by WHAT]",
// with "-" for the round trips when no probe was answered.
std::string MeasureText(const STargetMeasure& m) {
    char text[192];
    const char* pszFailed = FailedByName(m.failedBy);
    const std::string strFailed = pszFailed ? std::string("  failed by ") + pszFailed : "";
    if (m.nReceived == 0) {
        std::snprintf(text, sizeof text, "  rtt -  0/%u received  %.4g%% loss", m.nSent,
                      m.LossPercent());
        return text;
    }
    std::snprintf(text, sizeof text,
                  "  rtt %.3f ms  %u/%u received  %.4g%% loss  min/avg/max %.3f/%.3f/%.3f ms",
                  m.RttAverage() * 1e3, m.nReceived, m.nSent, m.LossPercent(), m.dRttMin * 1e3,
                  m.RttAverage() * 1e3, m.dRttMax * 1e3);
    return text + strFailed;
}

std::string JsonMs(bool bAny, double dSeconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", dSeconds * 1e3);
    return bAny ? text : "null";
}

std::string MeasureJson(const STargetMeasure& m) {
    const bool bAny = m.nReceived > 0;
    char loss[32];
    std::snprintf(loss, sizeof loss, "%.4g", m.LossPercent());
    const char* pszFailed = FailedByName(m.failedBy);
    return ",\"sent\":" + std::to_string(m.nSent) + ",\"received\":" + std::to_string(m.nReceived) +
           ",\"loss_pct\":" + loss + ",\"rtt_ms\":" + JsonMs(bAny, m.RttAverage()) +
           ",\"rtt_min_ms\":" + JsonMs(bAny, m.dRttMin) +
           ",\"rtt_max_ms\":" + JsonMs(bAny, m.dRttMax) +
           ",\"failed_by\":" + (pszFailed ? "\"" + std::string(pszFailed) + "\"" : "null");
}

std::string JsonLine(int nRow, const CItem& item, bool bOk, double dMs,
                     const std::string& strExtra) {
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.3f", dMs);
    return "{\"row\":" + std::to_string(nRow) + ",\"address\":" + JsonString(item.m_strAddress) +
           ",\"mode\":" + std::to_string(item.m_nMode) +
           ",\"port\":" + std::to_string(item.m_nPort) + ",\"ok\":" + (bOk ? "1" : "0") +
           ",\"ms\":" + ms + strExtra + "}\n";
}
} // namespace

CProbeLinePrinter::CProbeLinePrinter(const CItemList& list, bool bJson)
    : m_list(list), m_pos(list.GetHeadPosition()), m_bJson(bJson) {
    for (POSITION pos = list.GetHeadPosition(); pos && !bJson;)
        m_nAddressWidth = std::max(m_nAddressWidth, ShownWidth(ShownAddress(*list.GetNext(pos))));
}

void CProbeLinePrinter::ShowResult(int nRow, const SRowResult& result) {
    const CItem* pItem = m_list.GetNext(m_pos);
    const double dMs = result.dSeconds * 1000.0;
    const std::string strExtra = !result.measure ? ""
                                 : m_bJson       ? MeasureJson(*result.measure)
                                                 : MeasureText(*result.measure);
    std::string line =
        m_bJson ? JsonLine(nRow + 1, *pItem, result.nResult != 0, dMs, strExtra)
                : TextLine(nRow + 1, *pItem, m_nAddressWidth, result.StatusText(), dMs, strExtra);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

