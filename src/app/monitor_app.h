// SPDX-License-Identifier: Apache-2.0
// CMonitorApp: the life of the GUI process. It checks the socket layer, runs
// the main window modally with the list file named on the command line, and
// ends when the window closes, saving nothing.
#pragma once

#include <string>
#include <vector>

class CMonitorApp {
public:
    // The program's arguments, without the program name.
    explicit CMonitorApp(const std::vector<std::string>& args);

    // Runs the program; returns 0 once the main window has closed, or at once
    // after the message when no socket can be created.
    int InitInstance();

    // The arguments joined with single blanks: one path, used whole.
    std::string m_strCommandLineTail;
};

std::string JoinCommandLineTail(const std::vector<std::string>& args);
