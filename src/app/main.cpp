// ostrel: the desktop connection monitor. Its arguments, joined with blanks,
// name a list file to load at start-up.
#include "app/monitor_app.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::string> args;
    // The arguments as the system gave them, bytes unchanged.
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    CMonitorApp theApp(args);
    return theApp.InitInstance();
}
