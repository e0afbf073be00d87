#include "ui/help/help_file.h"

#include "ui/toolkit/text.h"

#include <QCoreApplication>

std::string HelpFilePath(const std::string& strProgramPath) {
    const size_t nSlash = strProgramPath.find_last_of('/');
    const size_t nNameStart = nSlash == std::string::npos ? 0 : nSlash + 1;
    const size_t nDot = strProgramPath.find_last_of('.');
    // A name that only starts with '.' is a hidden file, not an extension.
    const bool bHasExtension = nDot != std::string::npos && nDot > nNameStart;
    return (bHasExtension ? strProgramPath.substr(0, nDot) : strProgramPath) + ".HLP";
}

std::string ProgramHelpFilePath() {
    return HelpFilePath(FromQString(QCoreApplication::applicationFilePath()));
}
