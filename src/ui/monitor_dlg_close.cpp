// SPDX-License-Identifier: Apache-2.0
// Closing the main window: a list changed since it was loaded or saved is
// not lost without a question.
#include "framework/integer_text.h"
#include "storage/list_content.h"
#include "ui/monitor_dlg.h"
#include "ui/toolkit/save_question.h"

namespace {
constexpr const char* kSaveChangesQuestion = "Save changes to the list before closing?";
}

void CMonitorDlg::TakeListBaseline() {
    m_savedContent = ListContent(*m_pList);
}

bool CMonitorDlg::ListChanged() const {
    return m_pList && ListContent(*m_pList) != m_savedContent;
}

// Scheduled passes wait while the question, and the save dialog it may lead
// to, are up; one that fell due meanwhile runs if the window stays open.
void CMonitorDlg::CloseNow(int nResult) {
    if (m_bClosing) // a second close while the question is up: it is being answered
        return;
    m_bClosing = true;
    m_schedule.Hold();
    const bool bClose = MayDiscardChanges();
    if (bClose && m_schedule.RunningFlag())
        StopMonitoring();
    m_schedule.Release();
    m_bClosing = false;
    if (bClose)
        EndDialog(nResult);
    else
        EndIfRequested();
}

// Nothing changed: no question. Save goes through Save List and closes only
// once the list is written; Cancel keeps the window.
bool CMonitorDlg::MayDiscardChanges() {
    TakeFocusedFieldEdit();
    if (!ListChanged())
        return true;
    switch (AskSaveChanges(GetWindow(), kSaveChangesQuestion)) {
    case ESaveAnswer::kSave:
        return SaveListAs();
    case ESaveAnswer::kDiscard:
        return true;
    case ESaveAnswer::kCancel:
        break;
    }
    return false;
}

// A text field writes its text through when the focus leaves it, so the
// field that still has the focus holds an edit the list has not seen. It is
// taken as leaving the field would take it, without a message: a period that
// does not read as one in range is no change.
void CMonitorDlg::TakeFocusedFieldEdit() {
    QWidget* pFocus = GetWindow() ? GetWindow()->focusWidget() : nullptr;
    if (!pFocus || !m_pList)
        return;
    if (pFocus == GetDlgItem(kIdExecute)) {
        m_strExecute = GetDlgItemText(kIdExecute);
        m_pList->m_strExecute = m_strExecute;
    } else if (pFocus == GetDlgItem(kIdPeriod)) {
        const std::optional<int32_t> period = ReadIntegerText(GetDlgItemText(kIdPeriod));
        if (period && *period >= kMinPeriod && *period <= kMaxPeriod)
            m_pList->m_nPeriod = m_nPeriod = *period;
    }
}
