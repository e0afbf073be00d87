// SPDX-License-Identifier: Apache-2.0
// Helpers for driving real windows in the GUI tests.
#pragma once

#include "ui/toolkit/dialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

// Runs dlg modally; `script` runs once the modal run has started and the
// window is shown. A window the script leaves open is cancelled, and the test
// fails, so a test never hangs.
inline int RunModal(CDialog& dlg, std::function<void()> script) {
    bool bLeftOpen = false;
    QTimer::singleShot(0, [&] {
        script();
        if (dlg.GetWindow() && dlg.GetWindow()->isVisible()) {
            bLeftOpen = true;
            dlg.EndDialog(kIdCancel);
        }
    });
    const int nResult = dlg.DoModal();
    EXPECT_FALSE(bLeftOpen) << "the script left the dialog open";
    return nResult;
}

// Replaces a text field's text by typing, as a user would.
inline void TypeInto(QLineEdit* pEdit, const QString& text) {
    pEdit->setFocus();
    pEdit->selectAll();
    QTest::keyClick(pEdit, Qt::Key_Delete);
    QTest::keyClicks(pEdit, text);
}

inline void Click(QWidget* pWidget) {
    QTest::mouseClick(pWidget, Qt::LeftButton);
}
