// SPDX-License-Identifier: Apache-2.0
#include "ui/progress_dlg.h"

#include "ui/templates/templates.h"
#include "ui/toolkit/center_window.h"

#include <QProgressBar>

CProgressDlg::CProgressDlg(QWidget* pParent) : CDialog(ProgressDlgTemplate(), pParent) {}

// Centred over the parent, or on the work area when the parent is hidden or
// minimised, and kept inside the work area.
bool CProgressDlg::OnInitDialog() {
    CenterWindow(GetWindow(), GetParent());
    CDialog::OnInitDialog();
    m_progress.Attach(Item<QProgressBar>(kIdProgress));
    m_nTimer = SetTimer(kIdStepTimer, kStepMs);
    return true;
}

void CProgressDlg::OnTimer(int nId) {
    if (nId != kIdStepTimer) {
        CDialog::OnTimer(nId);
        return;
    }
    KillTimer(m_nTimer);
    m_progress.StepIt();
    m_nTimer = SetTimer(kIdStepTimer, kStepMs);
}

void CProgressDlg::OnDestroy() {
    if (m_nTimer != 0)
        KillTimer(m_nTimer);
    m_nTimer = 0;
}
