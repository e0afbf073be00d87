// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/progress_ctrl.h"

#include <QProgressBar>

void CProgressCtrl::Attach(QProgressBar* pBar) {
    m_pBar = pBar;
    SetRange(0, 100);
    SetPos(0);
}

void CProgressCtrl::SetRange(int nLower, int nUpper) {
    m_pBar->setRange(nLower, nUpper);
}

void CProgressCtrl::SetPos(int nPos) {
    m_pBar->setValue(nPos);
}

int CProgressCtrl::GetPos() const {
    return m_pBar->value();
}

int CProgressCtrl::StepIt() {
    const int nOld = GetPos();
    int nNew = nOld + m_nStep;
    if (nNew > m_pBar->maximum() || nNew < m_pBar->minimum())
        nNew = m_nStep >= 0 ? m_pBar->minimum() : m_pBar->maximum();
    SetPos(nNew);
    return nOld;
}
