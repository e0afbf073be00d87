// SPDX-License-Identifier: Apache-2.0
#include "check/check_log.h"
#include "check/log_record.h"
#include "model/item.h"
#include "support/other_user.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace std::string_literals;

namespace {
// 2 hours east of UTC, no daylight saving: a local time differs from UTC.
constexpr const char* kZone = "XST-2";
constexpr time_t kHour = 3600;

CItem Target(const std::string& strAddress, int32_t nMode, int32_t nPort) {
    CItem item;
    item.m_strAddress = strAddress;
    item.m_nMode = nMode;
    item.m_nPort = nPort;
    return item;
}

class CheckLog : public testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", kZone, 1);
        tzset();
        ASSERT_FALSE(m_dir.Path().empty());
        m_strPath = m_dir / "check.log";
    }

    std::string Contents() const {
        std::ifstream file(m_strPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    void Write(const std::string& text) const {
        std::ofstream(m_strPath, std::ios::binary) << text;
    }

    CTempDir m_dir;
    std::string m_strPath;
};
} // namespace

TEST_F(CheckLog, RecordBytes) {
    // 12 June 1996, 09:05:07 local = 07:05:07 UTC.
    const time_t t1996 = 834570307 - 2 * kHour;
    EXPECT_EQ(FormatLogRecord(t1996, Target("192.0.2.10", 1, 80), 0),
              "06/12/96 09:05:07, 0, \"192.0.2.10\", 1, 80\r\n");
    EXPECT_EQ(FormatLogRecord(t1996 + 10, Target("192.0.2.11", 0, 80), 1),
              "06/12/96 09:05:17, 1, \"192.0.2.11\", 0, 80\r\n");
    // Any nonzero result logs 1; negative numbers keep their sign.
    EXPECT_EQ(FormatLogRecord(t1996, Target("h", -1, -2147483647 - 1), 7),
              "06/12/96 09:05:07, 1, \"h\", -1, -2147483648\r\n");
    EXPECT_EQ(FormatLogRecord(t1996, Target("", 0, 0), 0), "06/12/96 09:05:07, 0, \"\", 0, 0\r\n");
    EXPECT_EQ(FormatLogRecord(t1996, Target("a \"b\", c", 2, 65536), 0),
              "06/12/96 09:05:07, 0, \"a \\x22b\\x22, c\", 2, 65536\r\n");
    // Bytes of 0x80 and above pass unchanged.
    EXPECT_EQ(FormatLogRecord(t1996, Target("x\xe9\x80\xffy", 1, 1), 0),
              "06/12/96 09:05:07, 0, \"x\xe9\x80\xffy\", 1, 1\r\n");
}

// A record is one line, can be split back into its fields, and is read by no
// shell as a command: control bytes and the four bytes special inside a
// shell's double quotes are written \xNN.
TEST_F(CheckLog, ControlAndShellBytesOfTheAddressAreEscaped) {
    const time_t t1996 = 834570307 - 2 * kHour;
    const std::string strHead = "06/12/96 09:05:07, 1, \"";
    const std::string strTail = "\", 1, 80\r\n";
    // The address stored, and what stands between the record's quotes.
    const struct {
        std::string address;
        std::string shown;
    } cases[] = {
        {"127.0.0.1\nANY TEXT", R"(127.0.0.1\x0aANY TEXT)"},
        {"127.0.0.1\r\nANY TEXT\r\n", R"(127.0.0.1\x0d\x0aANY TEXT\x0d\x0a)"},
        {"a\0b"s, R"(a\x00b)"},
        {"\x01\x1f\x7f", R"(\x01\x1f\x7f)"},
        {"tab\there\x0b\x0c\x1b[2J", R"(tab\x09here\x0b\x0c\x1b[2J)"},
        // The bytes next to the control ranges are not control bytes.
        {" ~\x80\x9f", " ~\x80\x9f"},
        // A backslash is escaped too, so no escape is ambiguous.
        {R"(C:\x0a\y)", R"(C:\x5cx0a\x5cy)"},
        {"$(touch p)\"`id`\\", R"(\x24(touch p)\x22\x60id\x60\x5c)"},
        {"\"; touch q; \"'", R"(\x22; touch q; \x22')"},
        {"host.example", "host.example"},
    };
    for (const auto& [address, shown] : cases) {
        const std::string record = FormatLogRecord(t1996, Target(address, 1, 80), 1);
        EXPECT_EQ(record, strHead + shown + strTail) << testing::PrintToString(address);
        EXPECT_EQ(record.find_first_of("\r\n"), record.size() - 2) << record;
    }
    // Appended to a file that bash then runs, the records run nothing.
    for (const auto& [address, shown] : cases)
        AppendLogRecord(m_strPath, Target(address, 1, 80), 1);
    const std::string strRun = "cd '" + m_dir.Path() + "' && bash ./check.log >/dev/null 2>&1";
    EXPECT_NE(std::system(strRun.c_str()), -1);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "p"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "q"));
}

TEST_F(CheckLog, TimeField) {
    // 1 January 2000, 00:00:01 local, and the same moment as UTC (still 1999 in no zone).
    const time_t t2000 = 946684801 - 2 * kHour;
    EXPECT_EQ(FormatLogRecord(t2000, Target("h", 1, 80), 1).substr(0, 17), "01/01/00 00:00:01");
    EXPECT_EQ(FormatLogRecord(t2000 - 2, Target("h", 1, 80), 1).substr(0, 17), "12/31/99 23:59:59");
    // 12 June 2009, 09:05:07 UTC is 11:05:07 here.
    EXPECT_EQ(FormatLogRecord(1244797507, Target("h", 1, 80), 1).substr(0, 17),
              "06/12/09 11:05:07");
    // Daylight saving applies when in force.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    EXPECT_EQ(FormatLogRecord(1244797507, Target("h", 1, 80), 1).substr(0, 17),
              "06/12/09 11:05:07");
    EXPECT_EQ(FormatLogRecord(946684801, Target("h", 1, 80), 1).substr(0, 17), "01/01/00 01:00:01");
    // A clock value before 1970 leaves the time field empty.
    EXPECT_EQ(FormatLogRecord(-1, Target("h", 1, 80), 0), ", 0, \"h\", 1, 80\r\n");
}

TEST_F(CheckLog, AppendsWithoutEverTruncating) {
    const mode_t nOldMask = umask(027);
    AppendLogRecord(m_strPath, Target("192.0.2.10", 1, 80), 0);
    umask(nOldMask);
    struct stat info {};
    ASSERT_EQ(stat(m_strPath.c_str(), &info), 0) << "created when missing";
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "0666 less the umask";
    AppendLogRecord(m_strPath, Target("192.0.2.11", 0, 80), 1);
    const std::string strTail1 = ", 0, \"192.0.2.10\", 1, 80\r\n";
    const std::string strTail2 = ", 1, \"192.0.2.11\", 0, 80\r\n";
    std::string text = Contents();
    ASSERT_EQ(text.size(), 17 + strTail1.size() + 17 + strTail2.size()) << text;
    EXPECT_EQ(text.substr(17, strTail1.size()), strTail1);
    EXPECT_EQ(text.substr(17 + strTail1.size() + 17), strTail2);

    // A record is glued to a last line without a line end.
    Write("first line, no end");
    AppendLogRecord(m_strPath, Target("h", 1, 80), 0);
    text = Contents();
    EXPECT_EQ(text.substr(0, 18), "first line, no end");
    EXPECT_EQ(text.substr(18 + 17), ", 0, \"h\", 1, 80\r\n");
    // The time field is the time of writing.
    time_t now = time(nullptr);
    EXPECT_EQ(text.substr(18, 17), FormatLogRecord(now, Target("h", 1, 80), 0).substr(0, 17))
        << "unless the second just turned";
}

TEST_F(CheckLog, UnwritablePathsWriteNothing) {
    AppendLogRecord(m_dir.Path(), Target("h", 1, 80), 0); // a folder
    AppendLogRecord(m_dir / "missing/check.log", Target("h", 1, 80), 0);
    AppendLogRecord(m_strPath + std::string("\0x", 2), Target("h", 1, 80), 0);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "missing"));
    EXPECT_FALSE(std::filesystem::exists(m_strPath)) << "no file named by the text before a zero";
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path()));
    // A pipe with no reader: the record is dropped rather than waiting for one.
    const std::string strPipe = m_dir / "pipe";
    ASSERT_EQ(mkfifo(strPipe.c_str(), 0666), 0);
    AppendLogRecord(strPipe, Target("h", 1, 80), 0);

    // A read-only file, written by a user other than root (root ignores modes).
    if (geteuid() != 0)
        GTEST_SKIP() << "dropping to nobody needs root";
    Write("kept\r\n");
    ASSERT_EQ(chmod(m_strPath.c_str(), 0444), 0);
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(RunInChild([&] {
                  const std::string failure = BecomeNobody();
                  if (failure.empty())
                      AppendLogRecord(m_strPath, Target("h", 1, 80), 0);
                  return failure;
              }),
              "");
    EXPECT_EQ(Contents(), "kept\r\n");
}
