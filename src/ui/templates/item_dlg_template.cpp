// SPDX-License-Identifier: Apache-2.0
#include "ui/templates/templates.h"

const CDialogTemplate& ItemDlgTemplate() {
    static const CDialogTemplate tpl{
        kIdItemDlg,
        "Dialog",
        270,
        93,
        "MS Sans Serif",
        8,
        kWndSysMenu | kWndCenter,
        {
            {kIdStatic, ECtlKind::kLabel, "Address", 18, 18, 26, 8},
            {1022, ECtlKind::kEdit, "", 54, 15, 209, 14, 0, true},
            {1020, ECtlKind::kRadio, "ICMP (Ping)", 18, 45, 53, 10, kStyleGroup, true},
            {1021, ECtlKind::kRadio, "Connect", 18, 63, 43, 10},
            {kIdStatic, ECtlKind::kLabel, "Port", 73, 64, 18, 8},
            {1023,
             ECtlKind::kDropDown,
             "",
             96,
             62,
             48,
             46,
             kStyleNoSort,
             true,
             {"HTTP", "FTP", "SMTP", "Whois", "Finger", "Telnet", "Other"}},
            {1024, ECtlKind::kEdit, "", 152, 61, 33, 14, 0, true},
            {1025, ECtlKind::kSpin, "", 184, 61, 11, 14},
            {kIdOk, ECtlKind::kButton, "Close", 213, 72, 50, 14, kStyleDefault, true},
        },
    };
    return tpl;
}
