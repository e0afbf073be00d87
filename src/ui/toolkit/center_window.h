// SPDX-License-Identifier: Apache-2.0
// Placing a window: over its parent, or on the screen's work area when the
// parent is missing, hidden or minimised; always kept inside the work area.
#pragma once

#include <QRect>
#include <QWidget>

// The top-left corner that centres `frame` over `over` and keeps it inside
// `workArea` (its left and top edges win when it is larger than the area).
QPoint CenteredPosition(const QRect& frame, const QRect& over, const QRect& workArea);

void CenterWindow(QWidget* pWnd, QWidget* pParent);
