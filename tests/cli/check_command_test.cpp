// SPDX-License-Identifier: Apache-2.0
// ostrel-cli check, run as its own process on list files of loopback targets.
#include "../check/icmp_access.h"
#include "cli_run.h"
#include "model/item_list.h"
#include "storage/list_file.h"
#include "support/loopback_port.h"
#include "support/test_files.h"
#include "support/test_items.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <deque>
#include <regex>
#include <string>
#include <tuple>

namespace {
// The output with every duration replaced by "T", which varies from run to run.
std::string WithoutDurations(const std::string& text) {
    std::string result = std::regex_replace(text, std::regex(R"( [0-9]+\.[0-9] ms\n)"), " T ms\n");
    return std::regex_replace(result, std::regex(R"("ms":[0-9]+\.[0-9]{3}\})"), "\"ms\":T}");
}

std::string Repeat(const std::string& text, size_t n) {
    std::string result;
    for (size_t i = 0; i < n; ++i)
        result += text;
    return result;
}

size_t CountLines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

class CheckCommand : public testing::Test {
protected:
    std::string WriteList(CItemList& list) {
        const std::string path = m_dir / "targets.osl";
        WriteListFile(path, list);
        return path;
    }

    CTempDir m_dir;
    CLoopbackPort m_listening{true};
    CLoopbackPort m_refusing{false};
};
} // namespace

TEST_F(CheckCommand, PrintsEachTargetAndExitsOneWhenOneFails) {
    if (!CanOpenIcmpSocket())
        GTEST_SKIP() << "no ICMP socket: net.ipv4.ping_group_range excludes us and no CAP_NET_RAW";
    const std::string open = std::to_string(m_listening.Port());
    const std::string refused = std::to_string(m_refusing.Port());
    CItemList list;
    list.AddTail(NewItem(0, 1, "127.0.0.1", m_listening.Port()));
    list.AddTail(NewItem(1, 2, "127.1", m_refusing.Port()));
    list.AddTail(NewItem(0, 0, "localhost", 80));
    list.m_nLogging = kLogAlways;
    list.m_strLogFile = m_dir / "check.log";
    const std::string path = WriteList(list);
    const Bytes before = ReadFileBytes(path);

    SChildResult r = RunCli({"check", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    auto column = [](const std::string& port) { return port + std::string(6 - port.size(), ' '); };
    EXPECT_EQ(WithoutDurations(r.out),
              "    1  127.0.0.1  " + column(open) + "  Yes  T ms\n" + "    2  127.1      " +
                  column(refused) + "  No   T ms\n" + "    3  localhost  ICMP    Yes  T ms\n");
    r = RunCli({"check", "--json", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(WithoutDurations(r.out),
              "{\"row\":1,\"address\":\"127.0.0.1\",\"mode\":1,\"port\":" + open +
                  ",\"ok\":1,\"ms\":T}\n"
                  "{\"row\":2,\"address\":\"127.1\",\"mode\":2,\"port\":" +
                  refused +
                  ",\"ok\":0,\"ms\":T}\n"
                  "{\"row\":3,\"address\":\"localhost\",\"mode\":0,\"port\":80,\"ok\":1,\"ms\":T}"
                  "\n");
    EXPECT_EQ(ReadFileBytes(path), before) << "the list file is not changed";
    EXPECT_EQ(CountLines(ReadText(list.m_strLogFile)), 6u) << "three records per pass";
    EXPECT_EQ(m_listening.AcceptAndDrain(), 0);
}

TEST_F(CheckCommand, ExitsZeroWhenAllRespondAndForAnEmptyList) {
    CItemList list;
    list.AddTail(NewItem(0, 1, "127.0.0.1", 65536 + m_listening.Port()));
    list.AddTail(NewItem(0, 1, "127.0.0.1", m_listening.Port()));
    list.m_nLogging = kLogOnFailure;
    list.m_strLogFile = m_dir / "check.log";
    SChildResult r = RunCli({"check", WriteList(list)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountLines(r.out), 2u);
    EXPECT_FALSE(std::filesystem::exists(list.m_strLogFile)) << "no failure, no record";

    CItemList empty;
    r = RunCli({"check", "--json", WriteList(empty)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(CheckCommand, LongAddressesKeepTheirWholeLine) {
    // Each address parses as 127.0.0.1: the text after its blank is ignored,
    // so no name is looked up. The lengths straddle the 127 bytes a line once
    // held, and a control byte widens the address as shown.
    const std::string open = std::to_string(m_listening.Port());
    const std::string refused = std::to_string(m_refusing.Port());
    const std::string plain100 = "127.0.0.1 " + std::string(100, 'x');
    const std::string plain108 = "127.0.0.1 " + std::string(108, 'x');
    const std::string plain150 = "127.0.0.1 " + std::string(150, 'x');
    const std::string plain5000 = "127.0.0.1 " + std::string(5000, 'y');
    const struct {
        std::string address, shown, json;
        bool ok;
    } cases[] = {
        {plain100, plain100, plain100, true},
        {plain108, plain108, plain108, false},
        {plain150, plain150, plain150, true},
        {"127.0.0.1\t" + std::string(110, '\x01'), "127.0.0.1\\x09" + Repeat("\\x01", 110),
         "127.0.0.1\\t" + Repeat("\\u0001", 110), false},
        {plain5000, plain5000, plain5000, true},
        {"127.0.0.1", "127.0.0.1", "127.0.0.1", true},
    };
    CItemList list;
    std::string expectedText, expectedJson;
    int nRow = 0;
    size_t nWidth = 0;
    for (const auto& c : cases)
        nWidth = std::max(nWidth, c.shown.size());
    for (const auto& [address, shown, json, ok] : cases) {
        const std::string port = ok ? open : refused;
        list.AddTail(NewItem(0, 1, address, ok ? m_listening.Port() : m_refusing.Port()));
        const std::string row = std::to_string(++nRow);
        expectedText += "    " + row + "  " + shown + std::string(nWidth - shown.size(), ' ') +
                        "  " + port + std::string(6 - port.size(), ' ') +
                        (ok ? "  Yes  T ms\n" : "  No   T ms\n");
        expectedJson += "{\"row\":" + row + ",\"address\":\"" + json +
                        "\",\"mode\":1,\"port\":" + port + ",\"ok\":" + (ok ? "1" : "0") +
                        ",\"ms\":T}\n";
    }
    const std::string path = WriteList(list);

    SChildResult r = RunCli({"check", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(WithoutDurations(r.out), expectedText);
    EXPECT_EQ(CountLines(r.out), std::size(cases));
    r = RunCli({"check", "--json", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(WithoutDurations(r.out), expectedJson);
}

// The columns after the address line up, the address padded to the widest
// in the characters the terminal shows: "é" is one in UTF-8, four as \xe9.
TEST_F(CheckCommand, ColumnsLineUpByTheCharactersShown) {
    CItemList list;
    list.AddTail(NewItem(0, 1, "127.0.0.1 \xe9", m_listening.Port()));
    list.AddTail(NewItem(0, 1, "127.0.0.1 ab", m_listening.Port()));
    const std::string path = WriteList(list), port = std::to_string(m_listening.Port());
    const std::string tail = "  " + port + std::string(6 - port.size(), ' ') + "  Yes  T ms\n";
    for (const auto& [pszLocale, first, second] :
         {std::tuple{"C.UTF-8", "127.0.0.1 \xc3\xa9 ", "127.0.0.1 ab"},
          std::tuple{"C", "127.0.0.1 \\xe9", "127.0.0.1 ab  "}}) {
        const SChildResult r = RunCli({"check", path}, {.env = {{"LC_ALL", pszLocale}}});
        EXPECT_EQ(WithoutDurations(r.out),
                  "    1  " + std::string(first) + tail + "    2  " + second + tail)
            << pszLocale;
    }
}

TEST_F(CheckCommand, AnAddressHoldingALineEndLogsOneLine) {
    // Both addresses parse as 127.0.0.1; what follows the line break once
    // became a line of the log of its own.
    const std::string open = std::to_string(m_listening.Port());
    const std::string refused = std::to_string(m_refusing.Port());
    CItemList list;
    list.AddTail(NewItem(0, 1, "127.0.0.1\nANY TEXT", m_listening.Port()));
    list.AddTail(
        NewItem(0, 2, "127.0.0.1\r\n06/12/96 09:05:07, 1, \"x\", 1, 80\r\n", m_refusing.Port()));
    list.m_nLogging = kLogAlways;
    list.m_strLogFile = m_dir / "check.log";
    SChildResult r = RunCli({"check", WriteList(list)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(CountLines(r.out), 2u);

    const std::string log = ReadText(list.m_strLogFile);
    const std::string first = ", 1, \"127.0.0.1\\x0aANY TEXT\", 1, " + open + "\r\n";
    const std::string second =
        ", 0, \"127.0.0.1\\x0d\\x0a06/12/96 09:05:07, 1, \\x22x\\x22, 1, 80\\x0d\\x0a\", 2, " + refused +
        "\r\n";
    ASSERT_EQ(log.size(), 17 + first.size() + 17 + second.size()) << log;
    EXPECT_EQ(log.substr(17, first.size()), first);
    EXPECT_EQ(log.substr(17 + first.size() + 17), second);
    EXPECT_EQ(CountLines(log), 2u) << "one line per record";
    EXPECT_EQ(std::count(log.begin(), log.end(), '\r'), 2);
    EXPECT_EQ(m_listening.AcceptAndDrain(), 0);
}

TEST_F(CheckCommand, LoadErrorsAndUsage) {
    SChildResult r = RunCli({"check", m_dir / "missing.osl"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
    const std::string bad = m_dir / "bad.osl";
    WriteFileBytes(bad, Bytes{1, 2, 3});
    r = RunCli({"check", bad});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(RunCli({"check"}).status, 2);
    EXPECT_EQ(RunCli({"check", "--verbose", bad}).status, 2);
    for (const char* jobs : {"0", "65537", "x"})
        EXPECT_EQ(RunCli({"check", "--jobs", jobs, bad}).status, 2) << jobs;
    r = RunCli({"check", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: ostrel-cli check [--json] [--jobs N] [--count N]", 0), 0u);
}

// Stored text reaches the terminal with no byte it takes as a control: C1
// bytes (0x9D starts an operating system command, 0x9B a control sequence)
// are \xNN; in a UTF-8 terminal every other Windows-1252 character arrives
// in UTF-8, in others printable ASCII only. check's line also writes the
// bytes a shell's double quotes leave special. JSON is as it was.
TEST_F(CheckCommand, StoredTextNeverActsOnTheTerminal) {
    CItemList list;
    list.AddTail(NewItem(0, 1,
                         "127.0.0.1 \x9d"
                         "0;T\x9c\xe9\"$`\\",
                         m_listening.Port()));
    list.m_strExecute = "\x9b"
                        "8m hidden";
    const std::string path = WriteList(list), port = std::to_string(m_listening.Port());
    const std::string tail = "\\x22\\x24\\x60\\x5c  " + port + std::string(6 - port.size(), ' ');
    const std::tuple<const char*, std::vector<std::string>, std::string> rows[] = {
        {"C.UTF-8",
         {"show"},
         "alert:        \xe2\x80\xba"
         "8m hidden\n"},
        {"C.UTF-8", {"show"}, "No   127.0.0.1 \\x9d0;T\xc5\x93\xc3\xa9\"$`\\\n"},
        {"C", {"show"}, "alert:        \\x9b8m hidden\n"},
        {"C", {"show"}, "No   127.0.0.1 \\x9d0;T\\x9c\\xe9\"$`\\\n"},
        {"C.UTF-8", {"check"}, "1  127.0.0.1 \\x9d0;T\xc5\x93\xc3\xa9" + tail + "  Yes  T ms\n"},
        {"C", {"check"}, "1  127.0.0.1 \\x9d0;T\\x9c\\xe9" + tail + "  Yes  T ms\n"},
        {"C.UTF-8", {"check", "--json"}, "\"127.0.0.1 \\u009d0;T\\u009c\\u00e9\\\"$`\\\\\""},
    };
    for (auto [pszLocale, args, want] : rows) {
        args.push_back(path);
        const char* pszLocaleName = pszLocale;
        SChildResult r = RunCli(args, {.env = {{"LC_ALL", pszLocaleName}}});
        EXPECT_NE(WithoutDurations(r.out).find(want), std::string::npos) << pszLocale << r.out;
    }
}

// IPv4 and IPv6 targets mixed, each kind answering and not: probed many at
// once, the lines and the exit status equal those of one at a time.
TEST_F(CheckCommand, MixedIpv4AndIpv6TargetsGiveTheResultsOfOneByOne) {
    if (!CanOpenIcmpSocket())
        GTEST_SKIP() << "no ICMP socket: net.ipv4.ping_group_range excludes us and no CAP_NET_RAW";
    CLoopbackPort listening6(true, true), refusing6(false, true);
    CItemList list;
    for (int nRound = 0; nRound < 3; ++nRound)
        for (const char* pszAddress : {"127.0.0.1", "::1", "[::1]"})
            for (int nPort : {0, m_listening.Port(), listening6.Port(), refusing6.Port()})
                list.AddTail(NewItem(0, nPort ? 1 : 0, pszAddress, nPort));
    const std::string path = WriteList(list);
    std::vector<std::string> results;
    for (const char* pszJobs : {"1", "8"}) {
        SChildResult r = RunCli({"check", "--jobs", pszJobs, path});
        results.push_back(std::to_string(r.status) + r.err + "\n" + WithoutDurations(r.out));
    }
    std::string answered; // Y or N per line: echo, the IPv4 port, the IPv6 ports
    for (size_t nAt = 0; (nAt = results[0].find(" ms\n", nAt + 1)) != std::string::npos;)
        answered += results[0][nAt - 6];
    EXPECT_EQ(answered, Repeat("YYNNYNYNYNYN", 3)) << results[0];
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[0].substr(0, 2), "1\n");
}

// With the descriptor limit low and most of it already used, many probes in
// flight must wait for descriptors, not report their targets down: the
// results, the exit status and the log equal those of one probe at a time.
TEST_F(CheckCommand, FewDescriptorsLeftGiveTheResultsOfOneByOne) {
    rlimit ours{8192, 8192};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &ours), 0);
    std::deque<CLoopbackPort> ports;
    CItemList list;
    for (int n = 0; n < 2000; ++n)
        list.AddTail(NewItem(0, 1, "127.0.0.1", ports.emplace_back(true).Port()));
    list.m_nLogging = kLogAlways;
    list.m_strLogFile = m_dir / "check.log";
    const std::string path = WriteList(list);
    std::vector<std::string> results;
    for (const char* pszJobs : {"1", "3000"}) {
        std::filesystem::remove(list.m_strLogFile);
        // 256 descriptors at most, 150 of them open already (none of ours).
        SChildResult r = RunCli({"check", "--jobs", pszJobs, path}, {.fnInChild = [] {
                                    close_range(3, ~0U, 0);
                                    rlimit low{256, 256};
                                    setrlimit(RLIMIT_NOFILE, &low);
                                    for (int nFd = 3; nFd >= 0 && nFd < 149;)
                                        nFd = open("/dev/null", O_RDONLY);
                                }});
        results.push_back(std::to_string(r.status) + r.err + " " +
                          std::to_string(CountLines(ReadText(list.m_strLogFile))) + " records\n" +
                          WithoutDurations(r.out));
    }
    EXPECT_EQ(results[0].substr(0, 15), "0 2000 records\n");
    EXPECT_TRUE(results[1] == results[0])
        << results[1].substr(0, 15) << std::count(results[1].begin(), results[1].end(), 'N')
        << " targets down";
}
