// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/spin_button.h"

#include "framework/integer_text.h"
#include "ui/toolkit/text.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <limits>

CSpinButton::CSpinButton(QLineEdit* pBuddy, QWidget* pParent)
    : QWidget(pParent), m_pBuddy(pBuddy), m_pUp(new QToolButton(this)),
      m_pDown(new QToolButton(this)) {
    for (QToolButton* pArrow : {m_pUp, m_pDown}) {
        pArrow->setAutoRepeat(true);
        pArrow->setFocusPolicy(Qt::NoFocus);
    }
    m_pUp->setArrowType(Qt::UpArrow);
    m_pDown->setArrowType(Qt::DownArrow);
    connect(m_pUp, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { Step(-1); });
    if (m_pBuddy)
        m_pBuddy->installEventFilter(this);
}

void CSpinButton::Step(int nDelta) {
    if (!m_pBuddy || !isEnabled())
        return;
    const int64_t nValue = ReadIntegerText(FromQString(m_pBuddy->text())).value_or(0);
    const int64_t nNext = std::clamp<int64_t>(nValue + nDelta, std::numeric_limits<int32_t>::min(),
                                              std::numeric_limits<int32_t>::max());
    m_pBuddy->setText(QString::number(nNext));
    if (m_fnStepped)
        m_fnStepped();
}

bool CSpinButton::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pBuddy && pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (nKey == Qt::Key_Up || nKey == Qt::Key_Down) {
            Step(nKey == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void CSpinButton::resizeEvent(QResizeEvent*) {
    const int nHalf = height() / 2;
    m_pUp->setGeometry(0, 0, width(), nHalf);
    m_pDown->setGeometry(0, nHalf, width(), height() - nHalf);
}
