// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/mouse_only.h"

#include <QContextMenuEvent>
#include <QCoreApplication>

namespace {
bool IsFromKeyboard(const QEvent* pEvent) {
    switch (pEvent->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
        return true;
    case QEvent::ContextMenu:
        return static_cast<const QContextMenuEvent*>(pEvent)->reason() ==
               QContextMenuEvent::Keyboard;
    default:
        return false;
    }
}
} // namespace

CMouseOnlyScope::CMouseOnlyScope(std::initializer_list<QWidget*> windows) {
    for (QWidget* pWnd : windows)
        if (pWnd)
            m_windows.emplace_back(pWnd);
    QCoreApplication::instance()->installEventFilter(this);
}

CMouseOnlyScope::~CMouseOnlyScope() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool CMouseOnlyScope::Holds(const QObject* pReceiver) const {
    if (!pReceiver || !pReceiver->isWidgetType())
        return false;
    const QWidget* pWnd = static_cast<const QWidget*>(pReceiver)->window();
    for (const QPointer<QWidget>& pHeld : m_windows)
        if (pHeld == pWnd)
            return true;
    return false;
}

// The event is taken here: a shortcut override taken lets no shortcut fire,
// and a key taken reaches neither the control nor its window.
bool CMouseOnlyScope::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (!IsFromKeyboard(pEvent) || !Holds(pWatched))
        return false;
    pEvent->accept();
    return true;
}
