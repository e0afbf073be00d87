// SPDX-License-Identifier: Apache-2.0
// CAboutDlg: the about box (dialog 100), the program icon and its version.
#pragma once

#include "ui/toolkit/dialog.h"

class CAboutDlg : public CDialog {
public:
    // Without a parent the application's main window owns the box.
    explicit CAboutDlg(QWidget* pParent = nullptr);
};

// The system-menu command that opens the about box, and the text of its entry.
inline constexpr int kIdmAboutBox = 16;
inline constexpr const char* kAboutMenuText = "&About Ostrel...";

// A system command opens the about box when its id, low four bits cleared, is
// kIdmAboutBox (any id from 16 to 31).
inline bool IsAboutCommand(int nCommand) {
    return (nCommand & ~0xF) == kIdmAboutBox;
}

// Runs the about box modally and discards it.
void RunAboutBox();
