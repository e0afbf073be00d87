// SPDX-License-Identifier: Apache-2.0
// The progress bar's stepping: a range of 0 to 100 and a step of 10 by
// default; a step past the end starts again from the beginning.
#pragma once

class QProgressBar;

class CProgressCtrl {
public:
    explicit CProgressCtrl(QProgressBar* pBar = nullptr) : m_pBar(pBar) {}

    void Attach(QProgressBar* pBar);
    bool IsAttached() const { return m_pBar != nullptr; }
    void SetRange(int nLower, int nUpper);
    void SetStep(int nStep) { m_nStep = nStep; }
    void SetPos(int nPos);
    int GetPos() const;
    // Advances by one step; returns the position before the step.
    int StepIt();

private:
    QProgressBar* m_pBar;
    int m_nStep = 10;
};
