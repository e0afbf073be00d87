// SPDX-License-Identifier: Apache-2.0
#include "ui/help/help_file.h"

#include "ui/toolkit/text.h"

#include <QCoreApplication>
#include <QFile>

#ifndef OSTREL_HELP_DIR_FROM_BIN
#error "OSTREL_HELP_DIR_FROM_BIN must name the help folder relative to the programs' folder"
#endif

namespace {
bool IsReadableFile(const std::string& strPath) {
    QFile file(ToQString(strPath));
    return file.open(QIODevice::ReadOnly);
}
} // namespace

std::string HelpFilePath(const std::string& strProgramPath) {
    const size_t nSlash = strProgramPath.find_last_of('/');
    const size_t nNameStart = nSlash == std::string::npos ? 0 : nSlash + 1;
    const size_t nDot = strProgramPath.find_last_of('.');
    // A name that only starts with '.' is a hidden file, not an extension.
    const bool bHasExtension = nDot != std::string::npos && nDot > nNameStart;
    return (bHasExtension ? strProgramPath.substr(0, nDot) : strProgramPath) + ".HLP";
}

std::string InstalledHelpFilePath(const std::string& strProgramPath) {
    const std::string strBeside = HelpFilePath(strProgramPath);
    const size_t nSlash = strBeside.find_last_of('/');
    const std::string strFolder = nSlash == std::string::npos ? "." : strBeside.substr(0, nSlash);
    const std::string strName =
        nSlash == std::string::npos ? strBeside : strBeside.substr(nSlash + 1);
    return strFolder + "/" OSTREL_HELP_DIR_FROM_BIN "/" + strName;
}

std::string LocateHelpFile(const std::string& strProgramPath) {
    std::string strBeside = HelpFilePath(strProgramPath);
    if (IsReadableFile(strBeside))
        return strBeside;
    std::string strInstalled = InstalledHelpFilePath(strProgramPath);
    return IsReadableFile(strInstalled) ? strInstalled : strBeside;
}

std::string ProgramHelpFilePath() {
    return LocateHelpFile(FromQString(QCoreApplication::applicationFilePath()));
}
