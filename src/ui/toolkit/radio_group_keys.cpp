// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/radio_group_keys.h"

#include <QKeyEvent>

namespace {
// Lives as long as the group's first button; watches the keys of every
// button and moves the tab stop with the check.
class CRadioGroupKeys : public QObject {
public:
    CRadioGroupKeys(const std::vector<QAbstractButton*>& buttons, bool bTabStop)
        : QObject(buttons.front()), m_buttons(buttons), m_bTabStop(bTabStop) {
        for (QAbstractButton* pButton : m_buttons) {
            pButton->installEventFilter(this);
            connect(pButton, &QAbstractButton::toggled, this, [this] { PlaceTabStop(); });
        }
        PlaceTabStop();
    }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        if (pEvent->type() != QEvent::KeyPress)
            return false;
        const auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->modifiers() & ~Qt::KeypadModifier)
            return false;
        switch (pKey->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            return Move(pWatched, -1);
        case Qt::Key_Down:
        case Qt::Key_Right:
            return Move(pWatched, 1);
        default:
            return false;
        }
    }

private:
    bool Move(QObject* pFrom, int nStep) {
        const int nCount = static_cast<int>(m_buttons.size());
        int nAt = 0;
        while (nAt < nCount && m_buttons[nAt] != pFrom)
            ++nAt;
        for (int n = 1; n < nCount; ++n) {
            QAbstractButton* pNext = m_buttons[((nAt + n * nStep) % nCount + nCount) % nCount];
            if (pNext->isEnabled()) {
                pNext->setFocus(Qt::OtherFocusReason);
                pNext->click();
                break;
            }
        }
        return true;
    }

    // Only the checked button (or the first) takes the focus from Tab; the
    // others keep taking it from a click.
    void PlaceTabStop() {
        QAbstractButton* pStop = nullptr;
        if (m_bTabStop) {
            pStop = m_buttons.front();
            for (QAbstractButton* pButton : m_buttons)
                if (pButton->isChecked())
                    pStop = pButton;
        }
        for (QAbstractButton* pButton : m_buttons)
            pButton->setFocusPolicy(pButton == pStop ? Qt::StrongFocus : Qt::ClickFocus);
    }

    std::vector<QAbstractButton*> m_buttons;
    bool m_bTabStop;
};
} // namespace

void AttachRadioGroupKeys(const std::vector<QAbstractButton*>& buttons, bool bTabStop) {
    if (!buttons.empty())
        new CRadioGroupKeys(buttons, bTabStop);
}
