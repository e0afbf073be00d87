// SPDX-License-Identifier: Apache-2.0
#include "ui/templates/templates.h"

const CDialogTemplate& MonitorDlgTemplate() {
    static const CDialogTemplate tpl{
        kIdMonitorDlg,
        "Ostrel",
        313,
        244,
        "MS Sans Serif",
        8,
        kWndSysMenu | kWndMinimizeBox | kWndAppWindow | kWndCenter,
        {
            {1019, ECtlKind::kListView, "", 15, 7, 221, 74, kStyleBorder | kStyleSingleSel, true},
            {1011, ECtlKind::kCheckBox, "Popup Alert", 21, 87, 53, 10, 0, true},
            {kIdStatic, ECtlKind::kLabel, "Sound alert:", 21, 105, 43, 8},
            {1015, ECtlKind::kEdit, "", 74, 102, 133, 14, kStyleReadOnly, true},
            {1014, ECtlKind::kButton, "...", 206, 102, 16, 14, 0, true},
            {1016, ECtlKind::kButton, "x", 222, 102, 16, 14, 0, true},
            {kIdStatic, ECtlKind::kLabel, "Execute alert:", 21, 124, 44, 8},
            {1018, ECtlKind::kEdit, "", 74, 121, 163, 14, 0, true},
            {kIdStatic, ECtlKind::kLabel, "Period", 21, 142, 21, 8},
            {1006, ECtlKind::kEdit, "", 51, 139, 40, 14, 0, true},
            {1010, ECtlKind::kSpin, "", 90, 139, 11, 14},
            {kIdStatic, ECtlKind::kLabel, "minutes.", 104, 142, 27, 8},
            {1005, ECtlKind::kCheckBox, "Start Automatically", 21, 159, 74, 10, 0, true},
            {kIdStatic, ECtlKind::kGroupFrame, "Logging", 14, 176, 231, 57},
            {1033, ECtlKind::kRadio, "Never", 21, 194, 35, 10, kStyleGroup, true},
            {1034, ECtlKind::kRadio, "On failure", 94, 194, 46, 10},
            {1035, ECtlKind::kRadio, "Always", 178, 194, 38, 10},
            {kIdStatic, ECtlKind::kLabel, "Log file", 21, 214, 24, 8},
            {1036, ECtlKind::kEdit, "", 74, 211, 133, 14, kStyleReadOnly, true},
            {1017, ECtlKind::kButton, "...", 206, 211, 16, 14, 0, true},
            {1020, ECtlKind::kButton, "x", 222, 211, 16, 14, 0, true},
            {1026, ECtlKind::kButton, "&Edit", 256, 7, 50, 14, 0, true},
            {1027, ECtlKind::kButton, "&Add", 256, 22, 50, 14, 0, true},
            {1028, ECtlKind::kButton, "&Delete", 256, 37, 50, 14, 0, true},
            {1001, ECtlKind::kButton, "&Ping Now", 256, 52, 50, 14, 0, true},
            {1003, ECtlKind::kButton, "&Save List", 256, 67, 50, 14, 0, true},
            {1004, ECtlKind::kButton, "&Load List", 256, 82, 50, 14, 0, true},
            {1000, ECtlKind::kButton, "S&tart", 256, 97, 50, 14, 0, true},
            {1002, ECtlKind::kButton, "St&op", 256, 112, 50, 14, 0, true},
            {9, ECtlKind::kButton, "&Help", 256, 127, 50, 14, 0, true},
            {1030, ECtlKind::kButton, "&About", 256, 142, 50, 14, 0, true},
            {kIdCancel, ECtlKind::kButton, "&Close", 256, 158, 50, 14, 0, true},
        },
    };
    return tpl;
}
