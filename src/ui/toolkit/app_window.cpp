// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/app_window.h"

#include "ui/toolkit/text.h"

#include <QCoreApplication>
#include <QPointer>

std::string ApplicationTitleFromPath(const std::string& strProgramPath) {
    const size_t nSlash = strProgramPath.find_last_of('/');
    std::string strName =
        nSlash == std::string::npos ? strProgramPath : strProgramPath.substr(nSlash + 1);
    const size_t nDot = strName.find_last_of('.');
    if (nDot != std::string::npos && nDot > 0)
        strName.erase(nDot);
    return strName;
}

std::string ApplicationTitle() {
    return ApplicationTitleFromPath(FromQString(QCoreApplication::applicationFilePath()));
}

namespace {
QPointer<QWidget>& MainWindowSlot() {
    static QPointer<QWidget> pMain;
    return pMain;
}
} // namespace

void SetMainWindow(QWidget* pWnd) {
    MainWindowSlot() = pWnd;
}

QWidget* GetMainWindow() {
    return MainWindowSlot().data();
}
