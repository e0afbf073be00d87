// SPDX-License-Identifier: Apache-2.0
// The command alert runs for real through the shell and leaves no zombie,
// with the digest of the pass in its environment.
#include "monitor/alert_command.h"
#include "monitor/alert_digest.h"

#include "support/test_files.h"
#include "support/test_items.h"

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {
// The pids of this process's children, zombies included.
std::vector<int> ChildPids() {
    std::vector<int> pids;
    DIR* pDir = opendir("/proc");
    while (dirent* pEntry = readdir(pDir)) {
        std::ifstream stat(std::string("/proc/") + pEntry->d_name + "/stat");
        std::string strLine;
        if (!std::getline(stat, strLine))
            continue;
        // pid (comm) state ppid ...; comm may hold blanks, so read after ')'.
        std::istringstream rest(strLine.substr(strLine.rfind(')') + 2));
        char cState = 0;
        int nPpid = 0;
        rest >> cState >> nPpid;
        if (nPpid == getpid())
            pids.push_back(atoi(pEntry->d_name));
    }
    closedir(pDir);
    return pids;
}

// What the file at `strPath` holds, once it holds something.
std::string WaitForFile(const std::string& strPath) {
    WaitFor([&] { return !ReadText(strPath).empty(); }, std::chrono::seconds(10));
    return ReadText(strPath);
}

bool WaitForEmptyFolder(const std::string& strPath) {
    for (int i = 0; i < 1000 && !std::filesystem::is_empty(strPath); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::is_empty(strPath);
}

TEST(AlertCommand, RunsThroughTheShellDetachedWithNothingOfOursAndNoZombie) {
    CTempDir dir;
    const std::string strOut = dir / "out";
    // Inherited unless closed; high enough not to meet the shell's own.
    const int nOpened = open("/dev/null", O_RDONLY);
    const int nOurFd = dup2(nOpened, 100);
    close(nOpened);
    ASSERT_EQ(nOurFd, 100);
    const std::string strCommand =
        "cd '" + dir.Path() + "' && s=$(cat); echo \"$PPID $(readlink /proc/$$/fd/0) [$s] " +
        "$([ -e /proc/$$/fd/" + std::to_string(nOurFd) + " ] && echo leaked)\" > tmp && mv tmp out";

    ASSERT_TRUE(StartAlertCommand(strCommand));
    std::istringstream result(WaitForFile(strOut));
    close(nOurFd);
    int nShellParent = 0;
    std::string strStdin, strRead, strLeak;
    result >> nShellParent >> strStdin >> strRead >> strLeak;
    EXPECT_NE(nShellParent, getpid()) << "the shell is not our child";
    EXPECT_EQ(strStdin, "/dev/null");
    EXPECT_EQ(strRead, "[]");
    EXPECT_EQ(strLeak, "");
    EXPECT_TRUE(ChildPids().empty()) << "no child, and so no zombie, is left";
}

TEST(AlertCommand, AFailingCommandIsStartedAllTheSame) {
    EXPECT_TRUE(StartAlertCommand("exit 3"));
    EXPECT_TRUE(StartAlertCommand("no-such-command-anywhere 2>/dev/null"));
    EXPECT_TRUE(ChildPids().empty());
}

// Each row: a list after its pass, and what the command finds in
// OSTREL_FAILED, OSTREL_TOTAL and OSTREL_FAILED_TARGETS. The command line,
// with its quoted double blank, runs as given; variables of the digest's
// names that we had are replaced, not doubled, and the others are kept.
TEST(AlertCommand, DigestOfThePassReachesTheCommandInItsEnvironment) {
    struct SRow {
        const char* what;
        std::vector<CItem*> items;
        const char* want;
    };
    const SRow rows[] = {
        {"no targets", {}, "0|0|"},
        {"all responded", {NewItem(1, kProbeTcp, "a", 80), NewItem(1, kProbeIcmp, "b", 7)}, "0|2|"},
        {"ICMP and TCP, in list order",
         {NewItem(0, kProbeIcmp, "127.0.0.1", 80), NewItem(1, kProbeTcp, "up", 80),
          NewItem(0, kProbeTcp, "host", 8080), NewItem(0, 5, "", 0),
          NewItem(0, kProbeIcmp, "h", 1)},
         "4|5|127.0.0.1 host:8080 :0 h"},
        {"blank, control bytes, backslash and colon escaped; other bytes kept",
         {NewItem(0, kProbeTcp, "a b\tc\\d:e\x01\x7f\xff\xc3\xa9", -1),
          NewItem(0, kProbeIcmp, "\\x20 \n", 0)},
         "2|2|a\\x20b\\x09c\\x5cd\\x3ae\\x01\\x7f\xff\xc3\xa9:-1 \\x5cx20\\x20\\x0a"},
        {"IPv6 addresses in brackets, their zones escaped; anything else as before",
         {NewItem(0, kProbeIcmp, "::1", 0), NewItem(0, kProbeTcp, "[2001:db8::7]", 443),
          NewItem(0, kProbeTcp, "fe80::1%e:t]h 0", 22), NewItem(0, kProbeIcmp, "[fe80::1%eth0]", 0),
          NewItem(0, kProbeIcmp, "1::2::3", 0)},
         "5|5|[::1] [2001:db8::7]:443 [fe80::1%e\\x3at\\x5dh\\x200]:22 [fe80::1%eth0] "
         "1\\x3a\\x3a2\\x3a\\x3a3"},
    };
    setenv("OSTREL_FAILED", "stale", 1);
    setenv("OSTREL_FAILED_TARGETS", "stale", 1);
    setenv("OSTREL_TEST_KEPT", "kept", 1);
    CTempDir dir;
    const std::string strCommand =
        "cd '" + dir.Path() + "' && { printf '%s|%s|%s\\n' \"$OSTREL_FAILED\" \"$OSTREL_TOTAL\" " +
        "\"$OSTREL_FAILED_TARGETS\"; tr '\\0' '\\n' < /proc/$$/environ | grep -c -e "
        "'^OSTREL_FAILED=' -e '^OSTREL_TOTAL=' -e "
        "'^OSTREL_FAILED_TARGETS='; echo \"$OSTREL_TEST_KEPT 'as  typed'\"; }" +
        " > tmp && mv tmp out";
    for (const SRow& row : rows) {
        CItemList list;
        for (CItem* pItem : row.items)
            list.AddTail(pItem);
        std::filesystem::remove(dir / "out");
        ASSERT_TRUE(StartAlertCommand(strCommand, AlertDigestEnvironment(list))) << row.what;
        EXPECT_EQ(WaitForFile(dir / "out"), std::string(row.want) + "\n3\nkept 'as  typed'\n")
            << row.what;
    }
    unsetenv("OSTREL_FAILED");
    unsetenv("OSTREL_FAILED_TARGETS");
    unsetenv("OSTREL_TEST_KEPT");
    EXPECT_TRUE(ChildPids().empty());
}
} // namespace

// Each row: the failed targets of a pass, and what the command finds:
// OSTREL_FAILED_TARGETS_TRUNCATED, the words a shell makes of
// $OSTREL_FAILED_TARGETS unquoted (how many, the first, the last), the digest
// file's lines (how many, the last one's head) and its mode. Past 128 KiB in
// one variable the command would not start at all; a shell pattern in a
// target would stand for the files it matches. The file goes with the shell.
TEST(AlertCommand, DigestOfAnyPassStartsTheCommandAndSplitsSafely) {
    const std::pair<std::function<void(CItemList&)>, std::string> rows[] = {
        {[](CItemList& l) {
             for (int n = 0; n < 12000; ++n)
                 l.AddTail(NewItem(0, kProbeTcp, "host-" + std::to_string(10000 + n), 8080));
         },
         "1|4096|host-10000:8080|host-14095:8080|12000|host-21999:8080|600"},
        {[](CItemList& l) { l.AddTail(NewItem(0, kProbeIcmp, std::string(140000, 'a'), 0)); },
         "1|0|||1|aaaaaaaaaaaaaaaaaaaa|600"},
        {[](CItemList& l) {
             l.AddTail(NewItem(0, kProbeIcmp, "/*", 0));
             l.AddTail(NewItem(0, kProbeTcp, "a?[b]", 1));
         },
         "|2|/\\x2a|a\\x3f\\x5bb]:1|2|a\\x3f\\x5bb]:1|600"},
    };
    CTempDir dir, tmp;
    setenv("TMPDIR", tmp.Path().c_str(), 1);
    const std::string strCommand =
        "cd '" + dir.Path() + "' && f=$OSTREL_DIGEST_FILE && set -- $OSTREL_FAILED_TARGETS && " +
        "printf '%s|%s|%s|%s|%s|%s|%s\\n' \"$OSTREL_FAILED_TARGETS_TRUNCATED\" $# \"${1-}\" " +
        "\"$(for w; do :; done; echo \"${w-}\")\" $(wc -l < \"$f\") " +
        "\"$(tail -n 1 \"$f\" | cut -c 1-20)\" $(stat -c %a \"$f\") > tmp && mv tmp out";
    for (const auto& [fill, want] : rows) {
        CItemList list;
        fill(list);
        std::filesystem::remove(dir / "out");
        ASSERT_TRUE(StartAlertCommand(strCommand, AlertDigestEnvironment(list))) << want;
        EXPECT_EQ(WaitForFile(dir / "out"), want + "\n");
        EXPECT_TRUE(WaitForEmptyFolder(tmp.Path())) << want;
    }
    // An environment the system will not pass on: the caller hears that the
    // shell could not start, and nothing is left behind.
    setenv("OSTREL_TEST_HUGE", std::string(200000, 'x').c_str(), 1);
    EXPECT_FALSE(StartAlertCommand("true", {{}, {}, "text"}));
    unsetenv("OSTREL_TEST_HUGE");
    unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
    EXPECT_TRUE(ChildPids().empty());
}
