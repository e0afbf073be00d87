// SPDX-License-Identifier: Apache-2.0
// Many probes in flight at once, among hosts of a private network: reported
// in list order whatever order the probes end in, a silent target or a slow
// name lookup holding up nobody before it, and a stop that ends the pass at
// once.
#include "check/check_worker.h"
#include "check/concurrent/concurrent_pass.h"
#include "check/file_descriptor.h"
#include "check/status_sink.h"
#include "icmp_access.h"
#include "model/item_list.h"
#include "recording_sink.h"
#include "scripted_hosts.h"
#include "support/loopback_port.h"
#include "support/private_network_or_skip.h"
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
        RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [&] { return ProbeScriptedHosts(pszGroups); });
        std::istringstream lines(text);
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
    WaitFor([&] { return (nAccepted = listening.AcceptAndDrain()) >= 0; }, std::chrono::seconds(3));
    pollfd query{server.Get(), POLLIN, 0};
    // The lookup thread may be slower to ask than the other loop to connect.
    const bool bQueried = poll(&query, 1, 2000) == 1;
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
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, ProbeBehindAStalledLookup);
    // accepted, the server saw a query, no row out, stopped, still no row
    EXPECT_EQ(text, "0 1 0 1 0\n");
}
