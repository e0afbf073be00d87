// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/dialog_units.h"

#include <QFontMetrics>

// The average width is taken over the 52 letters, rounded, as dialog units
// have always been measured; the height is the font's line height.
CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int nLetters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nBaseX = (nLetters / 26 + 1) / 2;
    m_nBaseY = metrics.height();
}

QRect CDialogUnits::ToPixels(int x, int y, int cx, int cy) const {
    const int nLeft = ToPixelsX(x), nTop = ToPixelsY(y);
    return QRect(nLeft, nTop, ToPixelsX(x + cx) - nLeft, ToPixelsY(y + cy) - nTop);
}
