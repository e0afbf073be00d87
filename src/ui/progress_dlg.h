// SPDX-License-Identifier: Apache-2.0
// CProgressDlg: the modeless window shown while a check pass runs (dialog
// 132). Its bar steps every 250 ms to show that work is going on; Cancel only
// hides it.
#pragma once

#include "ui/toolkit/dialog.h"
#include "ui/toolkit/progress_ctrl.h"

class CProgressDlg : public CDialog {
public:
    static constexpr int kIdProgress = 1032;
    static constexpr int kIdStepTimer = 1;
    static constexpr int kStepMs = 250;

    explicit CProgressDlg(QWidget* pParent);

    CProgressCtrl m_progress;
    int m_nTimer = 0;

protected:
    bool OnInitDialog() override;
    void OnTimer(int nId) override;
    void OnDestroy() override;
};
