// SPDX-License-Identifier: Apache-2.0
// ostrel: the desktop connection monitor. Its arguments, joined with blanks,
// name a list file to load at start-up; "--help" or "--version" alone is
// answered on standard output, without a window.
#include "app/info_options.h"
#include "app/monitor_app.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (const int nStatus = AnswerInfoOption(argc, argv, stdout); nStatus >= 0)
        return nStatus;
    QApplication app(argc, argv);
    std::vector<std::string> args;
    // The arguments as the system gave them, bytes unchanged.
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    CMonitorApp theApp(args);
    return theApp.InitInstance();
}
