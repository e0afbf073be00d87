// SPDX-License-Identifier: Apache-2.0
#include "storage/list_approvals.h"

#include "framework/control_bytes.h"
#include "framework/exception.h"
#include "model/item_list.h"
#include "storage/file_replacer.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {
// One approval a line: the list's full path, the command and the log file,
// separated by tabs. Each field has its control bytes (tab and line feed
// among them) and backslashes escaped, so any bytes round-trip.
struct SApproval {
    std::string strListPath;
    SListActions actions;
};

std::string Field(const std::string& text) {
    return EscapeControlBytes(text, "\\");
}

std::string Line(const SApproval& approval) {
    return Field(approval.strListPath) + '\t' + Field(approval.actions.strCommand) + '\t' +
           Field(approval.actions.strLogFile) + '\n';
}

bool ParseLine(const std::string& strLine, SApproval& approval) {
    const size_t nFirst = strLine.find('\t');
    const size_t nSecond = strLine.find('\t', nFirst + 1);
    if (nFirst == std::string::npos || nSecond == std::string::npos ||
        strLine.find('\t', nSecond + 1) != std::string::npos)
        return false;
    approval.strListPath = UnescapeHexBytes(strLine.substr(0, nFirst));
    approval.actions.strCommand =
        UnescapeHexBytes(strLine.substr(nFirst + 1, nSecond - nFirst - 1));
    approval.actions.strLogFile = UnescapeHexBytes(strLine.substr(nSecond + 1));
    return true;
}

// Lines that do not parse are dropped: the store only ever grants.
std::vector<SApproval> ReadStore(const std::string& strPath) {
    std::vector<SApproval> approvals;
    std::ifstream file(strPath, std::ios::binary);
    SApproval approval;
    for (std::string strLine; std::getline(file, strLine);)
        if (ParseLine(strLine, approval))
            approvals.push_back(approval);
    return approvals;
}

// The folders up to the store, private to the user where they are new.
bool MakeFolders(const std::filesystem::path& folder) {
    if (folder.empty() || std::filesystem::is_directory(folder))
        return true;
    if (!MakeFolders(folder.parent_path()))
        return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string HomeFolder() {
    if (const char* pszHome = std::getenv("HOME"); pszHome && *pszHome)
        return pszHome;
    const passwd* pUser = getpwuid(getuid());
    return pUser && pUser->pw_dir ? pUser->pw_dir : "";
}
} // namespace

std::string FullPath(const std::string& path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error)
        return path;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(full, error);
    return (error ? full.lexically_normal() : resolved).string();
}

SListActions ListActions(const CItemList& list) {
    return {list.m_strExecute, list.m_strLogFile.empty() ? "" : FullPath(list.m_strLogFile)};
}

CListApprovals::CListApprovals(std::string strStorePath)
    : m_strStorePath(std::move(strStorePath)) {}

std::string CListApprovals::DefaultStorePath() {
    std::string strConfig;
    if (const char* pszConfig = std::getenv("XDG_CONFIG_HOME"); pszConfig && *pszConfig == '/')
        strConfig = pszConfig;
    else if (std::string strHome = HomeFolder(); !strHome.empty())
        strConfig = strHome + "/.config";
    return strConfig.empty() ? "" : strConfig + "/ostrel/approved-lists";
}

bool CListApprovals::IsApproved(const std::string& strListPath, const SListActions& actions) const {
    if (m_strStorePath.empty())
        return false;
    const std::string strList = FullPath(strListPath);
    for (const SApproval& approval : ReadStore(m_strStorePath))
        if (approval.strListPath == strList)
            return approval.actions == actions;
    return false;
}

bool CListApprovals::Approve(const std::string& strListPath, const SListActions& actions) {
    if (m_strStorePath.empty() || !MakeFolders(std::filesystem::path(m_strStorePath).parent_path()))
        return false;
    const SApproval approval{FullPath(strListPath), actions};
    std::string strText = Line(approval);
    for (const SApproval& other : ReadStore(m_strStorePath))
        if (other.strListPath != approval.strListPath)
            strText += Line(other);
    try {
        CFileReplacer replacer(m_strStorePath, nullptr, CFileReplacer::EMode::kWholeOnly);
        replacer.File().Write(strText.data(), strText.size());
        replacer.Commit();
    } catch (const CException&) {
        return false;
    }
    return true;
}
