// SPDX-License-Identifier: Apache-2.0
// The Help command of the main window, and its end when the window goes.
#pragma once

#include <QWidget>

inline constexpr const char* kFailedHelpMessage = "Failed to launch help.";

// Ends any mouse capture or open menu, then opens the program's help file at
// its contents for pOwner; shows "Failed to launch help." when the help
// engine refuses.
void ShowHelpContents(QWidget* pOwner);

// Tells the help engine to close pOwner's help, whether or not it was opened.
void CloseHelp(QWidget* pOwner);
