// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/dialog_window.h"

#include "ui/toolkit/dialog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcutEvent>

CDialogWindow::CDialogWindow(CDialog& owner, QWidget* pParent, Qt::WindowFlags flags)
    : QDialog(pParent, flags), m_pOwner(&owner) {}

CDialogWindow::~CDialogWindow() {
    if (m_pOwner)
        m_pOwner->WindowDestroyed();
}

// Esc and the close box: the dialog's cancel command.
void CDialogWindow::reject() {
    if (m_pOwner)
        m_pOwner->Command(kIdCancel, ECtlEvent::kClicked);
}

void CDialogWindow::keyPressEvent(QKeyEvent* pEvent) {
    if (pEvent->modifiers() & ~Qt::KeypadModifier) {
        QDialog::keyPressEvent(pEvent);
        return;
    }
    switch (pEvent->key()) {
    case Qt::Key_Escape:
        reject();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        PressEnter();
        return;
    case Qt::Key_Menu:
        // Some platforms turn the Menu key into a context menu event before
        // the key arrives; then the menu is already open.
        if (m_pOwner && !QApplication::activePopupWidget())
            m_pOwner->PopupSystemMenu(mapToGlobal(rect().center()));
        return;
    default:
        QDialog::keyPressEvent(pEvent);
    }
}

// Enter pushes the button that has the focus, else the default button; with
// no default button it is the dialog's OK command.
void CDialogWindow::PressEnter() {
    if (auto* pFocus = qobject_cast<QPushButton*>(QApplication::focusWidget());
        pFocus && pFocus->window() == this) {
        pFocus->click();
        return;
    }
    for (QPushButton* pButton : findChildren<QPushButton*>()) {
        if (pButton->isDefault()) {
            if (pButton->isEnabled())
                pButton->click();
            return;
        }
    }
    if (m_pOwner)
        m_pOwner->Command(kIdOk, ECtlEvent::kClicked);
}

void CDialogWindow::contextMenuEvent(QContextMenuEvent* pEvent) {
    if (m_pOwner)
        m_pOwner->PopupSystemMenu(pEvent->globalPos());
}

// A mnemonic moves the focus to its button before it clicks it, so the field
// being left runs its lose-focus handler first. A handler that kept the focus
// (it refused the field's value and put the focus back) cancels the click.
void CDialogWindow::PressMnemonic(QAbstractButton* pButton) {
    pButton->setFocus(Qt::ShortcutFocusReason);
    if (focusWidget() == pButton && pButton->isEnabled())
        pButton->click();
}

// A text field losing the focus within the window notifies the dialog; the
// window itself losing activation (another window, a menu) does not. A
// button's mnemonic that names it alone presses it; one shared by several
// buttons only moves the focus, as Qt does.
bool CDialogWindow::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (m_pOwner && pEvent->type() == QEvent::Shortcut) {
        auto* pButton = qobject_cast<QAbstractButton*>(pWatched);
        if (pButton && !static_cast<QShortcutEvent*>(pEvent)->isAmbiguous()) {
            PressMnemonic(pButton);
            return true;
        }
    }
    if (m_pOwner && pEvent->type() == QEvent::FocusOut && qobject_cast<QLineEdit*>(pWatched)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(pEvent)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            // The field finishes losing the focus first, so a handler that
            // puts the focus back and selects the text keeps that selection.
            pWatched->event(pEvent);
            m_pOwner->Command(pWatched->property("ctlId").toInt(), ECtlEvent::kKillFocus);
            return true;
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
}
