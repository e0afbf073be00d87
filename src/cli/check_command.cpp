// ostrel-cli check: one check pass over a list file's targets, as Ping Now
// runs it, printing each target's result as its probe ends.
#include "check/check_worker.h"
#include "check/status_sink.h"
#include "cli/cli_commands.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace {
// Some target did not respond.
constexpr int kExitNoResponse = 1;

using Clock = std::chrono::steady_clock;

// Prints one line per row as the worker reports it. Rows arrive in list
// order, so the sink walks the list beside the worker. A probe's duration is
// the time since the previous row was reported (for the first row, since the
// pass began); it includes the target's log record, if one was due.
class CPrintingSink : public CStatusSink {
public:
    CPrintingSink(const CItemList& list, bool bJson)
        : m_list(list), m_pos(list.GetHeadPosition()), m_bJson(bJson) {}

    void Start() { m_lastReport = Clock::now(); }

    void SetStatusText(int nRow, const char* pszText) override {
        double dMs = std::chrono::duration<double, std::milli>(Clock::now() - m_lastReport).count();
        const CItem* pItem = m_list.GetNext(m_pos);
        bool bOk = pszText[0] == 'Y';
        std::string line = m_bJson ? JsonLine(nRow + 1, *pItem, bOk, dMs)
                                   : TextLine(nRow + 1, *pItem, pszText, dMs);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
        m_lastReport = Clock::now();
    }

private:
    // "%5d  ADDRESS  %-6s  %-3s  %.1f ms": the address, whatever its length,
    // goes in whole between the pieces around it, so the line always ends.
    // Those pieces fit their buffers: a port has at most 11 characters and a
    // duration, counted in 64-bit nanoseconds, at most 16.
    static std::string TextLine(int nRow, const CItem& item, const char* pszText, double dMs) {
        const std::string strPort = item.IsIcmp() ? "ICMP" : std::to_string(item.m_nPort);
        char head[16], tail[64];
        std::snprintf(head, sizeof head, "%5d  ", nRow);
        std::snprintf(tail, sizeof tail, "  %-6s  %-3s  %.1f ms\n", strPort.c_str(), pszText, dMs);
        return head + VisibleText(item.m_strAddress) + tail;
    }
    static std::string JsonLine(int nRow, const CItem& item, bool bOk, double dMs) {
        char ms[32];
        std::snprintf(ms, sizeof ms, "%.3f", dMs);
        return "{\"row\":" + std::to_string(nRow) +
               ",\"address\":" + JsonString(item.m_strAddress) +
               ",\"mode\":" + std::to_string(item.m_nMode) +
               ",\"port\":" + std::to_string(item.m_nPort) + ",\"ok\":" + (bOk ? "1" : "0") +
               ",\"ms\":" + ms + "}\n";
    }

    const CItemList& m_list;
    POSITION m_pos;
    bool m_bJson;
    Clock::time_point m_lastReport;
};

int RunCheck(const CCliCommand& command, const std::vector<std::string>& args) {
    CCliArgs parsed;
    if (auto rc = StartCommand(command, args, {"--json"}, {}, 1, "one LIST", parsed))
        return *rc;

    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(parsed.Operands()[0], list))
        return rc;
    CPrintingSink sink(*list, parsed.Has("--json"));
    sink.Start();
    return RunCheckPass(*list, sink) ? kExitOk : kExitNoResponse;
}
} // namespace

const CCliCommand kCheckCommand = {
    "check",
    "usage: ostrel-cli check [--json] LIST\n"
    "Tests every target of the list file LIST once, in list order, as Ping Now does,\n"
    "and appends log records as the list's logging settings say. Prints one line per\n"
    "target as its probe ends: the row (from 1), the address, ICMP or the port, Yes or\n"
    "No, and the probe's duration. The list file is not changed.\n"
    "  --json  print each line as a JSON object instead:\n"
    "          {\"row\":R,\"address\":S,\"mode\":N,\"port\":N,\"ok\":0|1,\"ms\":F}\n"
    "Exit status: 0 every target responded (also for an empty list), 1 some target\n"
    "did not, 2 usage or file error, 3 malformed list file.\n",
    RunCheck,
};
