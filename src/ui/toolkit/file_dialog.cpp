// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/file_dialog.h"

#include "ui/toolkit/text.h"

#include <QFileDialog>
#include <QStringList>

namespace {
std::vector<std::string> SplitBars(const std::string& str) {
    std::vector<std::string> parts;
    size_t nStart = 0;
    while (nStart <= str.size()) {
        const size_t nBar = str.find('|', nStart);
        parts.push_back(str.substr(nStart, nBar == std::string::npos ? nBar : nBar - nStart));
        if (nBar == std::string::npos)
            break;
        nStart = nBar + 1;
    }
    return parts;
}
} // namespace

std::vector<std::string> QtNameFilters(const std::string& strFilter) {
    const std::vector<std::string> parts = SplitBars(strFilter);
    std::vector<std::string> filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty())
            break; // a trailing "||" ends the filter
        std::string strPatterns = parts[i + 1];
        for (char& c : strPatterns)
            if (c == ';')
                c = ' ';
        const std::string strShown = " (" + strPatterns + ")";
        const std::string& strDesc = parts[i];
        // Qt reads the patterns from the parentheses that end the name; a
        // description that already shows them is used as it is.
        const bool bShown =
            strDesc.size() >= strShown.size() - 1 && strDesc.ends_with(strShown.substr(1));
        filters.push_back(bShown ? strDesc : strDesc + strShown);
    }
    return filters;
}

std::optional<std::string> CFileDialogScript::Take(const CFileDialogRequest& request) {
    m_requests.push_back(request);
    if (m_answers.empty())
        return std::nullopt;
    std::optional<std::string> answer = std::move(m_answers.front());
    m_answers.pop_front();
    return answer;
}

std::optional<std::string> RunFileDialog(QWidget* pOwner, const CFileDialogRequest& request) {
    if (CFileDialogScript* pScript = CFileDialogScript::Active())
        return pScript->Take(request);

    QFileDialog dialog(pOwner);
    dialog.setAcceptMode(request.bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile); // an open dialog's file need not exist
    QStringList filters;
    for (const std::string& strFilter : QtNameFilters(request.strFilter))
        filters << ToQString(strFilter);
    dialog.setNameFilters(filters);
    std::string strExt = request.strDefExt;
    if (!strExt.empty() && strExt.front() == '.')
        strExt.erase(0, 1);
    dialog.setDefaultSuffix(ToQString(strExt));
    if (!request.strFileName.empty())
        dialog.selectFile(ToQString(request.strFileName));
    // Qt asks before replacing a file only on save, and only when told to.
    dialog.setOption(QFileDialog::DontConfirmOverwrite,
                     request.bOpen || !(request.nFlags & kOfnOverwritePrompt));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FromQString(dialog.selectedFiles().front());
}
