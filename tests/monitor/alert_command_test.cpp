// The command alert runs for real through the shell and leaves no zombie.
#include "monitor/alert_command.h"

#include "support/test_files.h"

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
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

std::string WaitForFile(const std::string& strPath) {
    for (int i = 0; i < 1000; ++i) {
        std::ifstream in(strPath);
        std::stringstream text;
        if (in && (text << in.rdbuf()))
            return text.str();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
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
} // namespace
