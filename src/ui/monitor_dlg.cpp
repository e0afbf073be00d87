// SPDX-License-Identifier: Apache-2.0
#include "ui/monitor_dlg.h"

#include "monitor/alert_sound.h"
#include "ui/about_dlg.h"
#include "ui/help/help_command.h"
#include "ui/templates/templates.h"
#include "ui/toolkit/app_window.h"
#include "ui/toolkit/file_dialog.h"
#include "ui/toolkit/program_icon.h"

#include <QTreeWidget>
#include <atomic>

namespace {
// A check box shows 0 or 1; a mirror outside 0..2 is reset to 0 first.
int32_t& CheckMirror(int32_t& nValue) {
    if (nValue < 0 || nValue > 2)
        nValue = 0;
    return nValue;
}
} // namespace

CMonitorDlg::CMonitorDlg(QWidget* pParent, std::string strCommandLineTail)
    : CDialog(MonitorDlgTemplate(), pParent), m_pList(std::make_unique<CItemList>()),
      m_strCommandLineTail(std::move(strCommandLineTail)),
      m_pSound(std::make_unique<CAlertSound>()) {
    m_pList->m_nPeriod = 15;
    m_pList->m_nLogging = kLogNever;
    m_pList->m_strLogFile.clear();
    MirrorSettingsFromList();
    m_hIcon = ProgramIcon();
    MapCommands();
}

CMonitorDlg::~CMonitorDlg() {
    DestroyWindow();
}

void CMonitorDlg::MapCommands() {
    MapCommand(kIdPopup, ECtlEvent::kClicked, &CMonitorDlg::OnPopup);
    MapCommand(kIdAutoStart, ECtlEvent::kClicked, &CMonitorDlg::OnAutoStart);
    MapCommand(kIdPeriod, ECtlEvent::kKillFocus, &CMonitorDlg::OnPeriodChanged);
    MapCommand(kIdPeriodSpin, ECtlEvent::kClicked, &CMonitorDlg::OnPeriodChanged);
    MapCommand(kIdExecute, ECtlEvent::kKillFocus, &CMonitorDlg::OnExecuteChanged);
    MapCommand(kIdLogNever, ECtlEvent::kClicked, &CMonitorDlg::OnLoggingChanged);
    MapCommand(kIdLogOnFailure, ECtlEvent::kClicked, &CMonitorDlg::OnLoggingChanged);
    MapCommand(kIdLogAlways, ECtlEvent::kClicked, &CMonitorDlg::OnLoggingChanged);
    MapCommand(kIdSoundBrowse, ECtlEvent::kClicked, &CMonitorDlg::OnSoundBrowse);
    MapCommand(kIdSoundClear, ECtlEvent::kClicked, &CMonitorDlg::OnSoundClear);
    MapCommand(kIdLogBrowse, ECtlEvent::kClicked, &CMonitorDlg::OnLogBrowse);
    MapCommand(kIdLogClear, ECtlEvent::kClicked, &CMonitorDlg::OnLogClear);
    MapCommand(kIdAdd, ECtlEvent::kClicked, &CMonitorDlg::OnAdd);
    MapCommand(kIdEdit, ECtlEvent::kClicked, &CMonitorDlg::OnEdit);
    MapCommand(kIdList, ECtlEvent::kDblClk, &CMonitorDlg::OnEdit);
    MapCommand(kIdDelete, ECtlEvent::kClicked, &CMonitorDlg::OnDelete);
    MapCommand(kIdPingNow, ECtlEvent::kClicked, &CMonitorDlg::OnPingNow);
    MapCommand(kIdSaveList, ECtlEvent::kClicked, &CMonitorDlg::OnSaveList);
    MapCommand(kIdLoadList, ECtlEvent::kClicked, &CMonitorDlg::OnLoadList);
    MapCommand(kIdStart, ECtlEvent::kClicked, &CMonitorDlg::StartMonitoring);
    MapCommand(kIdStop, ECtlEvent::kClicked, &CMonitorDlg::StopMonitoring);
    MapCommand(kIdHelp, ECtlEvent::kClicked, &CMonitorDlg::OnHelp);
    MapCommand(kIdAbout, ECtlEvent::kClicked, &CMonitorDlg::OnAbout);
}

bool CMonitorDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetMainWindow(GetWindow());
    AppendSystemMenuSeparator();
    AppendSystemMenuItem(kAboutMenuText, kIdmAboutBox);
    GetWindow()->setWindowIcon(m_hIcon);
    m_listView.Attach(Item<QTreeWidget>(kIdList));
    RefreshList();
    UpdateControls();
    TakeListBaseline();
    if (!m_strCommandLineTail.empty()) {
        LoadList(m_strCommandLineTail);
        if (m_pList->m_bAutoStart)
            StartMonitoring();
    }
    return true;
}

// Exchange order: start automatically, period (range checked), sound, popup,
// execute, logging, log file. A failure stops the reading there.
bool CMonitorDlg::ReadControls() {
    m_bAutoStart = IsDlgButtonChecked(kIdAutoStart);
    if (!ReadIntegerItemInRange(kIdPeriod, m_nPeriod, kMinPeriod, kMaxPeriod))
        return false;
    m_strSound = GetDlgItemText(kIdSound);
    m_bPopup = IsDlgButtonChecked(kIdPopup);
    m_strExecute = GetDlgItemText(kIdExecute);
    m_nLogging = GetCheckedRadio(kIdLogNever);
    m_strLogFile = GetDlgItemText(kIdLogFile);
    return true;
}

void CMonitorDlg::WriteControls() {
    CheckDlgButton(kIdAutoStart, CheckMirror(m_bAutoStart));
    SetIntegerItem(kIdPeriod, m_nPeriod);
    SetDlgItemText(kIdSound, m_strSound);
    CheckDlgButton(kIdPopup, CheckMirror(m_bPopup));
    SetDlgItemText(kIdExecute, m_strExecute);
    CheckRadio(kIdLogNever, m_nLogging);
    SetDlgItemText(kIdLogFile, m_strLogFile);
}

// Rows appear one by one where they can be seen: each visible row is painted
// as it is added.
void CMonitorDlg::RefreshList() {
    m_listView.DeleteAllItems();
    while (m_listView.DeleteColumn(0)) {
    }
    m_listView.InsertColumn(0, "IP Address", Units().ScalePixelsX(245));
    m_listView.InsertColumn(1, "Port", Units().ScalePixelsX(40));
    m_listView.InsertColumn(2, "OK", Units().ScalePixelsX(40));
    int nRow = 0;
    for (POSITION pos = m_pList->GetHeadPosition(); pos; ++nRow) {
        CItem* pItem = m_pList->GetNext(pos);
        m_listView.InsertItem(nRow, std::string());
        m_listView.SetItemText(nRow, 0, pItem->m_strAddress);
        m_listView.SetItemText(nRow, 1,
                               pItem->IsIcmp() ? std::string("ICMP")
                                               : std::to_string(pItem->m_nPort));
        m_listView.SetItemText(nRow, 2, pItem->m_bOk ? "Yes" : "No");
        m_listView.SetItemData(nRow, pItem);
        m_listView.RepaintNewRow(nRow);
    }
}

// Beyond the running flag: while a pass walks the list, nothing that changes
// the list, or the log path the pass reads, can be used, nor a second pass.
void CMonitorDlg::UpdateControls() {
    const bool bIdle = m_schedule.RunningFlag() == 0;
    const bool bListFree = CanChangeList();
    for (int nId : {kIdAdd, kIdEdit, kIdDelete, kIdLoadList})
        EnableDlgItem(nId, bIdle && bListFree);
    for (int nId : {kIdStart, kIdPopup, kIdSoundBrowse, kIdSoundClear, kIdExecute})
        EnableDlgItem(nId, bIdle);
    EnableDlgItem(kIdStop, !bIdle);
    for (int nId : {kIdLogFile, kIdLogBrowse, kIdLogClear})
        EnableDlgItem(nId, bIdle && bListFree && m_nLogging != kLogNever);
    EnableDlgItem(kIdPingNow, bListFree);
}

void CMonitorDlg::OnPopup() {
    ReadControls();
    m_pList->m_bPopup = m_bPopup;
}

void CMonitorDlg::OnAutoStart() {
    ReadControls();
    m_pList->m_bAutoStart = m_bAutoStart;
}

void CMonitorDlg::OnPeriodChanged() {
    if (ReadControls())
        m_pList->m_nPeriod = m_nPeriod;
}

void CMonitorDlg::OnExecuteChanged() {
    ReadControls();
    m_pList->m_strExecute = m_strExecute;
}

// The pass's worker reads the logging mode for each target.
void CMonitorDlg::OnLoggingChanged() {
    ReadControls();
    UpdateControls();
    std::atomic_ref<int32_t>(m_pList->m_nLogging).store(m_nLogging, std::memory_order_relaxed);
}

void CMonitorDlg::OnSoundBrowse() {
    const auto path =
        RunFileDialog(GetWindow(), {true, ".wav", std::string(), 0, "Sounds (*.wav)|*.wav"});
    if (!path)
        return;
    m_pList->m_strSound = *path;
    m_strSound = *path;
    WriteControls();
}

void CMonitorDlg::OnSoundClear() {
    m_strSound.clear();
    m_pList->m_strSound.clear();
    WriteControls();
}

void CMonitorDlg::OnLogBrowse() {
    if (!CanChangeList())
        return;
    const auto path = RunFileDialog(
        GetWindow(), {false, ".log", std::string(), kOfnHideReadOnly, "Log (*.log)|*.log"});
    if (!path)
        return;
    m_pList->m_strLogFile = *path;
    m_strLogFile = *path;
    WriteControls();
}

void CMonitorDlg::OnLogClear() {
    if (!CanChangeList())
        return;
    m_strLogFile.clear();
    m_pList->m_strLogFile.clear();
    WriteControls();
}

// Runs fnEdit, which opens the target editor, with scheduled passes held
// back: a pass that falls due meanwhile waits for the editor to close, so the
// editor never writes into a target under test. Then shows the list again.
void CMonitorDlg::EditTargets(const std::function<void()>& fnEdit) {
    if (!CanChangeList())
        return;
    m_schedule.Hold();
    fnEdit();
    RefreshList();
    m_schedule.Release();
    EndIfRequested();
}

// The new target is appended whatever the editor's result.
void CMonitorDlg::OnAdd() {
    EditTargets([this] {
        auto pItem = std::make_unique<CItem>();
        pItem->Edit();
        m_pList->AddTail(pItem.release());
    });
}

void CMonitorDlg::OnEdit() {
    EditTargets([this] {
        for (int nRow = m_listView.GetNextSelected(); nRow >= 0;
             nRow = m_listView.GetNextSelected(nRow))
            static_cast<CItem*>(m_listView.GetItemData(nRow))->Edit();
    });
}

void CMonitorDlg::OnDelete() {
    if (!CanChangeList())
        return;
    for (int nRow = m_listView.GetNextSelected(); nRow >= 0;
         nRow = m_listView.GetNextSelected(nRow)) {
        if (POSITION pos = m_pList->Find(static_cast<CItem*>(m_listView.GetItemData(nRow))))
            m_pList->RemoveAt(pos);
    }
    RefreshList();
}

void CMonitorDlg::OnHelp() {
    ShowHelpContents(GetWindow());
}

void CMonitorDlg::OnAbout() {
    RunAboutBox();
}

void CMonitorDlg::OnSysCommand(int nCommand) {
    if (IsAboutCommand(nCommand))
        RunAboutBox();
    else
        CDialog::OnSysCommand(nCommand);
}
