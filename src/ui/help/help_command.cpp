// SPDX-License-Identifier: Apache-2.0
#include "ui/help/help_command.h"

#include "ui/help/help_file.h"
#include "ui/help/help_viewer.h"
#include "ui/toolkit/message_box.h"

#include <QApplication>

void ShowHelpContents(QWidget* pOwner) {
    if (QWidget* pGrabber = QWidget::mouseGrabber())
        pGrabber->releaseMouse();
    if (QWidget* pPopup = QApplication::activePopupWidget())
        pPopup->close();
    if (!WinHelp(pOwner, ProgramHelpFilePath(), kHelpContents))
        ShowMessageBox(pOwner, kFailedHelpMessage, EMsgIcon::kExclamation);
}

void CloseHelp(QWidget* pOwner) {
    WinHelp(pOwner, std::string(), kHelpQuit);
}
