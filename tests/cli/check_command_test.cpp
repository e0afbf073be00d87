// ostrel-cli check, run as its own process on list files of loopback targets.
#include "../check/icmp_access.h"
#include "../check/loopback_port.h"
#include "cli_run.h"
#include "model/item_list.h"
#include "storage/list_file.h"
#include "support/test_files.h"
#include "support/test_items.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {
// The output with every duration replaced by "T", which varies from run to run.
std::string WithoutDurations(const std::string& text) {
    std::string result = std::regex_replace(text, std::regex(R"( [0-9]+\.[0-9] ms\n)"), " T ms\n");
    return std::regex_replace(result, std::regex(R"("ms":[0-9]+\.[0-9]{3}\})"), "\"ms\":T}");
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

    CliResult r = RunCli({"check", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    auto column = [](const std::string& port) { return port + std::string(6 - port.size(), ' '); };
    EXPECT_EQ(WithoutDurations(r.out), "    1  127.0.0.1  " + column(open) + "  Yes  T ms\n" +
                                           "    2  127.1  " + column(refused) + "  No   T ms\n" +
                                           "    3  localhost  ICMP    Yes  T ms\n");
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
    CliResult r = RunCli({"check", WriteList(list)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountLines(r.out), 2u);
    EXPECT_FALSE(std::filesystem::exists(list.m_strLogFile)) << "no failure, no record";

    CItemList empty;
    r = RunCli({"check", "--json", WriteList(empty)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(CheckCommand, LoadErrorsAndUsage) {
    CliResult r = RunCli({"check", m_dir / "missing.osl"});
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
    r = RunCli({"check", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: ostrel-cli check [--json] LIST\n", 0), 0u);
}
