// SPDX-License-Identifier: Apache-2.0
// Conversion of dialog units to pixels from a font's metrics: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an
// eighth of its character height.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class CDialogUnits {
public:
    static constexpr int kTemplateBaseX = 6;

    explicit CDialogUnits(const QFont& font);
    CDialogUnits(int nBaseX, int nBaseY) : m_nBaseX(nBaseX), m_nBaseY(nBaseY) {}

    int ToPixelsX(int x) const { return x * m_nBaseX / 4; }
    int ToPixelsY(int y) const { return y * m_nBaseY / 8; }
    QRect ToPixels(int x, int y, int cx, int cy) const;
    QSize ToPixels(int cx, int cy) const { return {ToPixelsX(cx), ToPixelsY(cy)}; }

    // A width in pixels given for the templates' own font (6 pixels a
    // character), scaled to this font so that the same text fits.
    int ScalePixelsX(int nPixels) const { return nPixels * m_nBaseX / kTemplateBaseX; }

    int BaseX() const { return m_nBaseX; }
    int BaseY() const { return m_nBaseY; }

private:
    int m_nBaseX; // average character width in pixels
    int m_nBaseY; // character height in pixels
};
