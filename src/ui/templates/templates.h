// SPDX-License-Identifier: Apache-2.0
// The dialog templates of Ostrel's windows.
#pragma once

#include "ui/toolkit/dialog_template.h"

inline constexpr int kIdAboutDlg = 100;
inline constexpr int kIdMonitorDlg = 102;
inline constexpr int kIdItemDlg = 129;
inline constexpr int kIdProgressDlg = 132;

const CDialogTemplate& AboutDlgTemplate();
const CDialogTemplate& MonitorDlgTemplate();
const CDialogTemplate& ItemDlgTemplate();
const CDialogTemplate& ProgressDlgTemplate();
