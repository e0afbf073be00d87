// SPDX-License-Identifier: Apache-2.0
// Save List, Load List and LoadList: the main window's list files.
#include "framework/exception.h"
#include "storage/list_file.h"
#include "storage/list_file_messages.h"
#include "ui/list_trust_box.h"
#include "ui/monitor_dlg.h"
#include "ui/toolkit/file_dialog.h"
#include "ui/toolkit/message_box.h"

namespace {
constexpr const char* kListFilter = "Ostrel list (*.osl)|*.osl";
}

void CMonitorDlg::OnSaveList() {
    SaveListAs();
}

// Saving replaces the file as a whole: a failed save leaves it as it was. What
// the user saves, the list may do when it is loaded again.
bool CMonitorDlg::SaveListAs() {
    const auto path =
        RunFileDialog(GetWindow(), {false, ".osl", std::string(),
                                    kOfnHideReadOnly | kOfnOverwritePrompt, kListFilter});
    if (!path)
        return false;
    try {
        WriteListFile(*path, *m_pList);
        TrustSavedList(*path, *m_pList);
        TakeListBaseline();
        return true;
    } catch (const CFileException& e) {
        ShowMessageBox(GetWindow(), SaveFailedMessage(*path, e.m_lOsError), EMsgIcon::kExclamation,
                       true);
    } catch (const CArchiveException&) {
        ShowMessageBox(GetWindow(), SaveFormatFailedMessage(*path), EMsgIcon::kExclamation, true);
    }
    return false;
}

void CMonitorDlg::OnLoadList() {
    if (m_schedule.RunningFlag() || !CanChangeList())
        return;
    const auto path = RunFileDialog(GetWindow(), {true, ".osl", std::string(), 0, kListFilter});
    if (path)
        LoadList(*path);
}

void CMonitorDlg::MirrorSettingsFromList() {
    m_bPopup = m_pList->m_bPopup;
    m_strSound = m_pList->m_strSound;
    m_strExecute = m_pList->m_strExecute;
    m_bAutoStart = m_pList->m_bAutoStart;
    m_nPeriod = m_pList->m_nPeriod;
    m_nLogging = m_pList->m_nLogging;
    m_strLogFile = m_pList->m_strLogFile;
}

// A list that was read replaces the current one, its command and log file
// held unless its user allows them; a file error keeps it and
// still refreshes the window; a malformed file keeps it and passes the error
// on, after its own box, to the dispatch that shows the error's message.
void CMonitorDlg::LoadList(std::string strPath) {
    try {
        if (std::unique_ptr<CItemList> pNew = ReadListFile(strPath)) {
            m_pList = std::move(pNew);
            TakeListBaseline();
            TrustLoadedList(GetWindow(), strPath, *m_pList);
        }
    } catch (const CFileException& e) {
        ShowMessageBox(GetWindow(), LoadFailedMessage(strPath, e.m_lOsError),
                       EMsgIcon::kExclamation, true);
    } catch (const CArchiveException&) {
        ShowMessageBox(GetWindow(), kLoadCorruptMessage, EMsgIcon::kStop, true);
        throw;
    }
    MirrorSettingsFromList();
    WriteControls();
    RefreshList();
    UpdateControls();
}
