// SPDX-License-Identifier: Apache-2.0
// The main window's check passes and schedule: CheckAll, Start, Stop, Ping
// Now, the schedule timer, the alerts, and closing.
#include "check/check_worker.h"
#include "monitor/alert_command.h"
#include "monitor/alert_digest.h"
#include "monitor/alert_sound.h"
#include "monitor/alert_text.h"
#include "ui/help/help_command.h"
#include "ui/monitor_dlg.h"
#include "ui/progress_dlg.h"
#include "ui/toolkit/app_window.h"
#include "ui/toolkit/message_box.h"
#include "ui/toolkit/mouse_only.h"
#include "ui/toolkit/ui_thread_calls.h"

#include <QEventLoop>

// The worker applies each row's status through this thread's event loop and
// wakes it with its last act; until then the loop sleeps in the kernel,
// dispatching whatever arrives, so every window stays live, to the mouse
// only: no key starts a command or cancels anything meanwhile. The worker is
// joined only after it has said it is done.
int32_t CMonitorDlg::CheckAll() {
    if (!m_pList)
        return 1;
    QEventLoop loop;
    CCheckWorker worker;
    const bool bStarted =
        worker.Start(*m_pList, m_listView, [&loop] { PostToUiThread([&loop] { loop.quit(); }); });
    CProgressDlg progress(GetWindow());
    progress.Create();
    const CMouseOnlyScope mouseOnly{GetWindow(), progress.GetWindow()};
    if (bStarted)
        loop.exec();
    const int32_t nAllOk = bStarted ? worker.Join() : 0;
    progress.DestroyWindow();
    return nAllOk;
}

void CMonitorDlg::StartMonitoring() {
    m_schedule.Start();
}

void CMonitorDlg::StopMonitoring() {
    m_schedule.Stop();
}

void CMonitorDlg::PingNow() {
    m_schedule.PingNow();
}

void CMonitorDlg::OnPingNow() {
    PingNow();
    EndIfRequested();
}

void CMonitorDlg::OnTimer(int nId) {
    if (!m_schedule.OnTimer(nId))
        CDialog::OnTimer(nId);
    EndIfRequested();
}

int CMonitorDlg::SetScheduleTimer(int64_t nDelayMs) {
    return SetTimer(kIdScheduleTimer, nDelayMs);
}

void CMonitorDlg::KillScheduleTimer(int nTimer) {
    KillTimer(nTimer);
}

// Popup first, modal over the window; the sound and the command start only
// once it is dismissed. Neither is waited for nor reported. The command's
// digest is taken before the popup, from the results of the pass that
// raised the alerts. A command its user did not allow is not run.
void CMonitorDlg::RaiseAlerts() {
    const bool bCommand =
        !m_strExecute.empty() && !(m_pList && m_pList->IsCommandHeld(m_strExecute));
    SAlertEnvironment digest;
    if (bCommand && m_pList)
        digest = AlertDigestEnvironment(*m_pList);
    if (m_bPopup)
        ShowMessageBox(GetWindow(), kFailedPassText, EMsgIcon::kInformation);
    if (!m_strSound.empty())
        m_pSound->Play(m_strSound);
    if (bCommand)
        StartAlertCommand(m_strExecute, digest);
}

void CMonitorDlg::OnOK() {
    if (ReadControls())
        EndWhenIdle(kIdOk);
}

// Monitoring stops when the close is acted on (CloseNow), so that a close
// the user then cancels leaves it running.
void CMonitorDlg::OnCancel() {
    EndWhenIdle(kIdCancel);
}

// The window and its list must outlive a running pass and its alerts.
void CMonitorDlg::EndWhenIdle(int nResult) {
    if (m_schedule.IsPassRunning())
        m_nEndRequest = nResult;
    else
        CloseNow(nResult);
}

void CMonitorDlg::EndIfRequested() {
    if (m_nEndRequest != 0 && !m_schedule.IsPassRunning()) {
        const int nResult = m_nEndRequest;
        m_nEndRequest = 0;
        CloseNow(nResult);
    }
}

void CMonitorDlg::OnDestroy() {
    m_schedule.Destroy();
    m_pList.reset();
    CloseHelp(GetWindow());
    if (GetMainWindow() == GetWindow())
        SetMainWindow(nullptr);
}
