// SPDX-License-Identifier: Apache-2.0
// CListApprovals: the list files whose command and log file this user has
// allowed. A list can come from anyone, and it names a command to run and a
// file to append to; the window acts on them only once its user has allowed
// exactly these settings for exactly this file, or saved them there. The
// approvals live in one file of the user's own, under $XDG_CONFIG_HOME/ostrel/
// (~/.config/ostrel/ when that is not set).
#pragma once

#include <string>

class CItemList;

// What a list would do beyond probing: the settings that need the user's
// approval. Both empty: nothing to approve.
struct SListActions {
    std::string strCommand; // the execute alert's command line, as stored
    std::string strLogFile; // the log file's full path; empty when none
    bool IsEmpty() const { return strCommand.empty() && strLogFile.empty(); }
    bool operator==(const SListActions&) const = default;
};

// `path` made absolute against the current folder, with its symbolic links
// followed as far as they lead: the file that opening `path` would reach.
std::string FullPath(const std::string& path);

// The command and log file of `list`, the log file as a full path.
SListActions ListActions(const CItemList& list);

class CListApprovals {
public:
    // Keeps its approvals in `strStorePath`; an empty path keeps none.
    explicit CListApprovals(std::string strStorePath = DefaultStorePath());

    // $XDG_CONFIG_HOME/ostrel/approved-lists, or ~/.config/ostrel/...; empty
    // when the user has no home folder.
    static std::string DefaultStorePath();

    // True when `actions` are what was last approved for the list file at
    // `strListPath`.
    bool IsApproved(const std::string& strListPath, const SListActions& actions) const;
    // Remembers `actions` as approved for that file, in place of what was
    // approved for it before. False when the store cannot be written; the
    // store is then unchanged.
    bool Approve(const std::string& strListPath, const SListActions& actions);

private:
    std::string m_strStorePath;
};
