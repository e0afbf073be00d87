// SPDX-License-Identifier: Apache-2.0
// The approvals of list files' commands and log files, on a real store.
#include "model/item_list.h"
#include "storage/list_approvals.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

using namespace std::string_literals;

TEST(ListApprovals, ExactSettingsOfTheSameFileAreApprovedAndAnyBytesRoundTrip) {
    CTempDir dir;
    CListApprovals approvals(dir / "config/ostrel/approved-lists");
    const std::string strList = dir / "a.osl";
    const SListActions hostile{"$(touch x)\t\"\\x0a\n\r\0;"s, "/home/u/.bashrc\t\\"};
    EXPECT_FALSE(approvals.IsApproved(strList, hostile));
    ASSERT_TRUE(approvals.Approve(strList, hostile));
    ASSERT_TRUE(approvals.Approve(dir / "b.osl", {"other", ""}));
    // Each row: a list path, settings, whether they are approved.
    const struct {
        std::string strList;
        SListActions actions;
        bool bApproved;
    } cases[] = {
        {strList, hostile, true},
        {dir / "./sub/../a.osl", hostile, true}, // the same file by another path
        {strList, {hostile.strCommand, ""}, false},
        {strList, {"", hostile.strLogFile}, false},
        {strList, {hostile.strCommand + " ", hostile.strLogFile}, false},
        {dir / "c.osl", hostile, false},
        {dir / "b.osl", {"other", ""}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(approvals.IsApproved(c.strList, c.actions), c.bApproved) << c.strList;
    // A new approval replaces the file's old one; others stay.
    ASSERT_TRUE(approvals.Approve(strList, {"new", ""}));
    EXPECT_FALSE(approvals.IsApproved(strList, hostile));
    EXPECT_TRUE(approvals.IsApproved(strList, {"new", ""}));
    EXPECT_TRUE(approvals.IsApproved(dir / "b.osl", {"other", ""}));
    struct stat folder {};
    ASSERT_EQ(stat((dir / "config/ostrel").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

TEST(ListApprovals, StoreFollowsXdgConfigHomeAndLogFilesAreFullPaths) {
    CTempDir dir;
    const std::string strHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(CListApprovals::DefaultStorePath(), dir / "ostrel/approved-lists");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(CListApprovals::DefaultStorePath(), dir / ".config/ostrel/approved-lists");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", strHome.c_str(), 1);
    std::filesystem::create_symlink("/etc/passwd", dir / "link.log");
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    CItemList list;
    list.m_strLogFile = "link.log";
    list.m_strExecute = "cmd";
    EXPECT_EQ(ListActions(list), (SListActions{"cmd", "/etc/passwd"}));
    list.m_strLogFile = "logs/../new.log";
    EXPECT_EQ(ListActions(list).strLogFile, FullPath(dir / "new.log"));
    std::filesystem::current_path(old);
}
