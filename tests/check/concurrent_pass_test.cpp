// Many probes in flight at once: the same results as one after the other,
// reported in list order whatever order the probes end in, a silent target
// or a slow name lookup holding up nobody before it, and a stop that ends
// the pass at once.
#include "check/check_worker.h"
#include "check/concurrent_pass.h"
#include "check/file_descriptor.h"
#include "check/status_sink.h"
#include "icmp_access.h"
#include "loopback_port.h"
#include "model/item_list.h"
#include "private_network.h"
#include "scripted_hosts.h"
#include "support/test_files.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

// Keeps what the pass reported, row by row, and when.
class CRecordingSink : public CStatusSink {
public:
    struct SRow {
        int nRow;
        std::string strText;
        double dSeconds;
        double dAtMs; // since the sink was made
    };
    void SetProbeSeconds(int, double dSeconds) override { m_dSeconds = dSeconds; }
    void SetStatusText(int nRow, const char* pszText) override {
        std::chrono::duration<double, std::milli> at = Clock::now() - m_start;
        m_rows.push_back({nRow, pszText, m_dSeconds, at.count()});
        if (m_fnOnRow)
            m_fnOnRow(nRow);
    }
    std::vector<SRow> m_rows;
    std::function<void(int)> m_fnOnRow;

private:
    Clock::time_point m_start = Clock::now();
    double m_dSeconds = -1;
};

void AddTarget(CItemList& list, int nMode, const std::string& strAddress, int nPort = 80) {
    auto* pItem = new CItem;
    pItem->m_nMode = nMode;
    pItem->m_strAddress = strAddress;
    pItem->m_nPort = nPort;
    list.AddTail(pItem);
}

std::vector<int32_t> Results(const CItemList& list) {
    std::vector<int32_t> results;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        results.push_back(list.GetNext(pos)->m_bOk);
    return results;
}

void ClearResults(CItemList& list) {
    for (POSITION pos = list.GetHeadPosition(); pos;)
        list.GetNext(pos)->m_bOk = -1;
}

// The log's records without their time stamps.
std::vector<std::string> LogRecords(const std::string& strPath) {
    std::vector<std::string> records;
    std::ifstream file(strPath);
    for (std::string strLine; std::getline(file, strLine);)
        records.push_back(strLine.substr(17));
    return records;
}

void ExpectRowsInOrder(const CRecordingSink& sink, size_t nRows) {
    ASSERT_EQ(sink.m_rows.size(), nRows);
    for (size_t i = 0; i < nRows; ++i) {
        EXPECT_EQ(sink.m_rows[i].nRow, static_cast<int>(i));
        EXPECT_GE(sink.m_rows[i].dSeconds, 0.0);
    }
}
} // namespace

// Listening and refusing ports, names from /etc/hosts, short dotted forms,
// an empty address and (where this process may) echoes on loopback, probed
// with several job counts: each pass gives the sequential pass's results and
// log, row for row.
TEST(ConcurrentPass, MatchesTheSequentialPassOnLoopback) {
    CLoopbackPort listening(true), refusing(false);
    CItemList list;
    for (int i = 0; i < 12; ++i) {
        AddTarget(list, kProbeTcp, "127.0.0.1", listening.Port());
        AddTarget(list, kProbeTcp, "127.0.0.1", refusing.Port());
        AddTarget(list, kProbeTcp, "localhost", listening.Port());
        AddTarget(list, kProbeTcp, "127.1", i % 2 ? listening.Port() : refusing.Port());
        AddTarget(list, kProbeTcp, "");
        if (CanOpenIcmpSocket())
            AddTarget(list, kProbeIcmp, "127.0.0." + std::to_string(i + 1));
    }
    CTempDir dir;
    list.m_nLogging = kLogAlways;
    list.m_strLogFile = dir / "sequential.log";
    CRecordingSink sequentialSink;
    EXPECT_EQ(RunCheckPass(list, sequentialSink), 0);
    const std::vector<int32_t> expected = Results(list);
    while (listening.AcceptAndDrain() >= 0) {
    }
    for (int nJobs : {1, 2, 7, 64}) {
        SCOPED_TRACE("jobs " + std::to_string(nJobs));
        ClearResults(list);
        list.m_strLogFile = dir / ("jobs" + std::to_string(nJobs) + ".log");
        CRecordingSink sink;
        SPassOutcome outcome = RunConcurrentPass(list, sink, nJobs);
        EXPECT_EQ(outcome.allOk, 0);
        EXPECT_FALSE(outcome.bStopped);
        EXPECT_EQ(Results(list), expected);
        ExpectRowsInOrder(sink, expected.size());
        for (size_t i = 0; i < expected.size() && i < sink.m_rows.size(); ++i)
            EXPECT_EQ(sink.m_rows[i].strText, expected[i] ? "Yes" : "No") << "row " << i;
        EXPECT_EQ(LogRecords(list.m_strLogFile), LogRecords(dir / "sequential.log"));
        while (listening.AcceptAndDrain() >= 0) {
        }
    }
    CItemList empty;
    CRecordingSink sink;
    EXPECT_EQ(RunConcurrentPass(empty, sink, 8).allOk, 1);
    EXPECT_TRUE(sink.m_rows.empty());
}

namespace {
// A private network of scripted hosts: a slow reply, a reply among forged
// errors about other requests, a forged error about our very request, a
// silent host, and quick replies around it.
const std::vector<SHostScript> kHosts = {
    {.pszAddress = "127.0.0.20", .nReplyAfterMs = 400},
    {.pszAddress = "127.0.0.21",
     .nReplyAfterMs = 30,
     .forgeries = {{"127.0.0.21", 0, 1}, {"127.0.0.21", 1, 0}},
     .nForgeForMs = 20},
    {.pszAddress = "127.0.0.22", .forgeries = {{"127.0.0.22", 0, 0}}},
    {.pszAddress = "127.0.0.23", .nReplyAfterMs = 0},
    {.pszAddress = "127.0.0.24"}, // silent
    {.pszAddress = "127.0.0.25", .nReplyAfterMs = 0},
};
const char* const kTargets[] = {"127.0.0.20", "127.0.0.21", "127.0.0.22",
                                "127.0.0.23", "127.0.0.24", "127.0.0.25"};
constexpr size_t kRowsBeforeSilent = 4;

// In the child: the sequential results of the rows before the silent host,
// then a concurrent pass over all rows, stopped once those rows are out.
// Lines "seq R...", "row N TEXT AT_MS", "stopped B AFTER_MS".
std::string ProbeScriptedHosts(const char* pszPingGroups) {
    if (!SetSysctl("net/ipv4/ping_group_range", pszPingGroups) ||
        !SetSysctl("net/ipv4/icmp_echo_ignore_all", "1"))
        return "set-up failed\n";
    CScriptedHosts hosts(kHosts);
    if (!hosts.IsReady())
        return "no raw sockets\n";
    std::ostringstream out;
    CItemList before;
    for (size_t i = 0; i < kRowsBeforeSilent; ++i)
        AddTarget(before, kProbeIcmp, kTargets[i]);
    CRecordingSink sequentialSink;
    RunCheckPass(before, sequentialSink);
    out << "seq";
    for (int32_t n : Results(before))
        out << ' ' << n;
    out << '\n';

    CItemList list;
    for (const char* pszTarget : kTargets)
        AddTarget(list, kProbeIcmp, pszTarget);
    CFileDescriptor stop(eventfd(0, EFD_CLOEXEC));
    CRecordingSink sink;
    sink.m_fnOnRow = [&](int nRow) {
        if (nRow + 1 == static_cast<int>(kRowsBeforeSilent)) {
            uint64_t nOne = 1;
            (void)!write(stop.Get(), &nOne, sizeof nOne);
        }
    };
    auto start = Clock::now();
    SPassOutcome outcome = RunConcurrentPass(list, sink, 16, stop.Get());
    std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
    for (const auto& row : sink.m_rows)
        out << "row " << row.nRow << ' ' << row.strText << ' ' << row.dAtMs << '\n';
    out << "stopped " << outcome.bStopped << ' ' << elapsed.count() << '\n';
    return out.str();
}
} // namespace

// On both socket kinds: rows come out in list order although the first
// reply is the last to come; results equal the sequential pass's; the silent
// host holds up none of the rows before it; and a stop ends the pass at once
// instead of waiting out its deadline.
TEST(ConcurrentPass, OrderAndStopAmongScriptedHosts) {
    for (const char* pszGroups : {kRawSocketGroups, kDatagramSocketGroups}) {
        SCOPED_TRACE(pszGroups);
        std::string strSkip;
        std::istringstream lines(
            RunInPrivateNetwork([&] { return ProbeScriptedHosts(pszGroups); }, strSkip));
        if (!strSkip.empty())
            GTEST_SKIP() << strSkip;
        std::string strWord, strSequential;
        std::vector<std::string> rows;
        bool bStopped = false;
        double dElapsedMs = 0, dLastRowMs = 0;
        for (std::string strLine; std::getline(lines, strLine);) {
            std::istringstream words(strLine);
            words >> strWord;
            if (strWord == "seq") {
                std::getline(words, strSequential);
            } else if (strWord == "row") {
                int nRow;
                std::string strText;
                words >> nRow >> strText >> dLastRowMs;
                EXPECT_EQ(nRow, static_cast<int>(rows.size()));
                rows.push_back(strText);
            } else if (strWord == "stopped") {
                words >> bStopped >> dElapsedMs;
            } else {
                FAIL() << strLine;
            }
        }
        EXPECT_EQ(strSequential, " 1 1 0 1");
        EXPECT_EQ(rows, (std::vector<std::string>{"Yes", "Yes", "No", "Yes"}));
        EXPECT_TRUE(bStopped);
        // Generous bounds: the echo deadline is 10 s.
        EXPECT_LT(dLastRowMs, 5000) << "the rows before the silent host waited for it";
        EXPECT_LT(dElapsedMs - dLastRowMs, 2000) << "the stop waited for the deadline";
    }
}

namespace {
// A name server on 127.0.0.1:53 in the child's namespace that takes every
// query and never answers, as a dead server would.
std::string ProbeBehindAStalledLookup() {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
        return "no mount namespace\n";
    CTempDir dir;
    std::ofstream(dir / "resolv.conf") << "nameserver 127.0.0.1\noptions timeout:5 attempts:1\n";
    if (mount((dir / "resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
        return "cannot replace /etc/resolv.conf\n";
    CFileDescriptor server(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(server.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return "no name server socket\n";

    CLoopbackPort listening(true);
    CItemList list;
    AddTarget(list, kProbeTcp, "stalled.ostrel.test");
    AddTarget(list, kProbeTcp, "127.0.0.1", listening.Port());
    CFileDescriptor stop(eventfd(0, EFD_CLOEXEC));
    CRecordingSink sink;
    std::atomic<int> nRowsOut{0};
    sink.m_fnOnRow = [&](int) { ++nRowsOut; };
    SPassOutcome outcome;
    std::thread pass([&] { outcome = RunConcurrentPass(list, sink, 2, stop.Get()); });
    // The second target's connection arrives while the first name waits.
    int nAccepted = -1;
    for (int i = 0; i < 300 && (nAccepted = listening.AcceptAndDrain()) < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pollfd query{server.Get(), POLLIN, 0};
    const bool bQueried = poll(&query, 1, 0) == 1;
    const int nRowsBeforeStop = nRowsOut;
    uint64_t nOne = 1;
    (void)!write(stop.Get(), &nOne, sizeof nOne);
    pass.join();
    std::ostringstream out;
    out << nAccepted << ' ' << bQueried << ' ' << nRowsBeforeStop << ' ' << outcome.bStopped << ' '
        << sink.m_rows.size() << '\n';
    return out.str();
}
} // namespace

TEST(ConcurrentPass, StalledNameLookupHoldsUpNoOtherProbe) {
    std::string strSkip;
    std::string text = RunInPrivateNetwork(ProbeBehindAStalledLookup, strSkip);
    if (!strSkip.empty())
        GTEST_SKIP() << strSkip;
    // accepted, the server saw a query, no row out, stopped, still no row
    EXPECT_EQ(text, "0 1 0 1 0\n");
}
