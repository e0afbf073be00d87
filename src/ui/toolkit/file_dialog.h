// SPDX-License-Identifier: Apache-2.0
// File-open and file-save dialogs that give the chosen full path or nothing.
// CFileDialogScript is the seam that lets tests answer them.
#pragma once

#include "ui/toolkit/scoped_hook.h"

#include <QWidget>
#include <deque>
#include <optional>
#include <string>
#include <vector>

enum : unsigned {
    kOfnHideReadOnly = 1u << 0,
    kOfnOverwritePrompt = 1u << 1,
};

struct CFileDialogRequest {
    bool bOpen;              // file-open, else file-save
    std::string strDefExt;   // default extension, with or without the leading '.'
    std::string strFileName; // initial file name, may be empty
    unsigned nFlags;         // kOfn...
    std::string strFilter;   // "Description|pattern|Description|pattern"
};

// Runs the dialog modally over `pOwner`; the chosen full path, or nothing
// when the user cancels.
std::optional<std::string> RunFileDialog(QWidget* pOwner, const CFileDialogRequest& request);

// The filter "Desc|*.a;*.b|..." as Qt name filters "Desc (*.a *.b)".
std::vector<std::string> QtNameFilters(const std::string& strFilter);

// While one exists, file dialogs take their answers from here, in order, and
// the requests are kept for the test to look at. With no answer left a dialog
// is cancelled.
class CFileDialogScript : public CScopedHook<CFileDialogScript> {
public:
    void AnswerPath(std::string strPath) { m_answers.emplace_back(std::move(strPath)); }
    void AnswerCancel() { m_answers.emplace_back(std::nullopt); }
    std::optional<std::string> Take(const CFileDialogRequest& request);

    std::vector<CFileDialogRequest> m_requests;

private:
    std::deque<std::optional<std::string>> m_answers;
};
