// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/center_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

QPoint CenteredPosition(const QRect& frame, const QRect& over, const QRect& workArea) {
    int x = over.left() + (over.width() - frame.width()) / 2;
    int y = over.top() + (over.height() - frame.height()) / 2;
    x = std::max(std::min(x, workArea.right() + 1 - frame.width()), workArea.left());
    y = std::max(std::min(y, workArea.bottom() + 1 - frame.height()), workArea.top());
    return {x, y};
}

void CenterWindow(QWidget* pWnd, QWidget* pParent) {
    const bool bOverParent = pParent && pParent->isVisible() && !pParent->isMinimized();
    QScreen* pScreen = bOverParent ? pParent->screen() : pWnd->screen();
    if (!pScreen)
        pScreen = QGuiApplication::primaryScreen();
    const QRect workArea = pScreen ? pScreen->availableGeometry() : QRect();
    const QRect over = bOverParent ? pParent->window()->frameGeometry() : workArea;
    // The frame is not known before the window is shown; its client size is.
    const QRect frame(pWnd->pos(), pWnd->isVisible() ? pWnd->frameGeometry().size() : pWnd->size());
    pWnd->move(CenteredPosition(frame, over, workArea));
}
