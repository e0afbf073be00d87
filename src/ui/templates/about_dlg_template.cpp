// SPDX-License-Identifier: Apache-2.0
#include "ui/templates/templates.h"

const CDialogTemplate& AboutDlgTemplate() {
    static const CDialogTemplate tpl{
        kIdAboutDlg,
        "About Ostrel",
        217,
        66,
        "MS Sans Serif",
        8,
        kWndSysMenu,
        {
            {kIdStatic, ECtlKind::kIcon, "", 11, 17, 21, 20},
            {kIdStatic, ECtlKind::kLabel, "Ostrel Version 1.0", 40, 10, 119, 8},
            {kIdOk, ECtlKind::kButton, "OK", 178, 7, 32, 14, kStyleDefault, true},
        },
    };
    return tpl;
}
