#include "cli/probe_lines.h"

#include <cstdio>
#include <string>

namespace {
// "%5d  ADDRESS  %-6s  %-3s  %.1f ms": the address, whatever its length,
// goes in whole between the pieces around it, so the line always ends.
// Those pieces fit their buffers: a port has at most 11 characters and a
// duration, counted in 64-bit nanoseconds, at most 16.
std::string TextLine(int nRow, const CItem& item, const char* pszText, double dMs) {
    const std::string strPort = item.IsIcmp() ? "ICMP" : std::to_string(item.m_nPort);
    char head[16], tail[64];
    std::snprintf(head, sizeof head, "%5d  ", nRow);
    std::snprintf(tail, sizeof tail, "  %-6s  %-3s  %.1f ms\n", strPort.c_str(), pszText, dMs);
    // Also the bytes a shell's double quotes leave special, so that the
    // address can be pasted into a quoted word and mean only itself.
    return head + VisibleText(item.m_strAddress, "\"\\$`") + tail;
}

std::string JsonLine(int nRow, const CItem& item, bool bOk, double dMs) {
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.3f", dMs);
    return "{\"row\":" + std::to_string(nRow) + ",\"address\":" + JsonString(item.m_strAddress) +
           ",\"mode\":" + std::to_string(item.m_nMode) +
           ",\"port\":" + std::to_string(item.m_nPort) + ",\"ok\":" + (bOk ? "1" : "0") +
           ",\"ms\":" + ms + "}\n";
}
} // namespace

CProbeLinePrinter::CProbeLinePrinter(const CItemList& list, bool bJson)
    : m_list(list), m_pos(list.GetHeadPosition()), m_bJson(bJson) {}

void CProbeLinePrinter::SetProbeSeconds(int /*nRow*/, double dSeconds) {
    m_dSeconds = dSeconds;
}

void CProbeLinePrinter::SetStatusText(int nRow, const char* pszText) {
    const CItem* pItem = m_list.GetNext(m_pos);
    const double dMs = m_dSeconds * 1000.0;
    std::string line = m_bJson ? JsonLine(nRow + 1, *pItem, pszText[0] == 'Y', dMs)
                               : TextLine(nRow + 1, *pItem, pszText, dMs);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

std::optional<int> ReadJobsOption(const CCliArgs& parsed) {
    std::optional<std::string> text = parsed.Value("--jobs");
    if (!text)
        return 1;
    std::optional<int32_t> nJobs = ReadIntegerOption(*text, std::make_pair(1, kMaxJobs));
    return nJobs ? std::optional<int>(*nJobs) : std::nullopt;
}
