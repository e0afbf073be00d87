// SPDX-License-Identifier: Apache-2.0
// The application's identity as the windows see it: its title (the caption of
// every message box) and its main window (the owner of windows opened without
// a parent).
#pragma once

#include <QWidget>
#include <string>

// The program file's name without its folder and without its extension (from
// the last '.' of the name), e.g. "/usr/bin/ostrel" gives "ostrel".
std::string ApplicationTitleFromPath(const std::string& strProgramPath);
// The title of this process, from its program file.
std::string ApplicationTitle();

// The main window, set by the application while it runs its main window; null
// when there is none.
void SetMainWindow(QWidget* pWnd);
QWidget* GetMainWindow();
