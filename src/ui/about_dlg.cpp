// SPDX-License-Identifier: Apache-2.0
#include "ui/about_dlg.h"

#include "ui/templates/templates.h"
#include "ui/toolkit/app_window.h"

CAboutDlg::CAboutDlg(QWidget* pParent)
    : CDialog(AboutDlgTemplate(), pParent ? pParent : GetMainWindow()) {}

void RunAboutBox() {
    CAboutDlg dlg;
    dlg.DoModal();
}
