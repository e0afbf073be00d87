// SPDX-License-Identifier: Apache-2.0
// Up and down arrows attached to a numeric text field on their left: each
// arrow (or the Up and Down keys in the field) changes the field's number by
// one and reports the step.
#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

class CSpinButton : public QWidget {
public:
    CSpinButton(QLineEdit* pBuddy, QWidget* pParent);

    QLineEdit* Buddy() const { return m_pBuddy; }
    QToolButton* UpArrow() const { return m_pUp; }
    QToolButton* DownArrow() const { return m_pDown; }
    void OnStepped(std::function<void()> fn) { m_fnStepped = std::move(fn); }
    // Adds nDelta to the field's number; text that is no number counts as 0.
    void Step(int nDelta);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    QLineEdit* m_pBuddy;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
    std::function<void()> m_fnStepped;
};
