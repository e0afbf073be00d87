// SPDX-License-Identifier: Apache-2.0
#include "ui/templates/templates.h"

const CDialogTemplate& ProgressDlgTemplate() {
    static const CDialogTemplate tpl{
        kIdProgressDlg,
        "Checking connections.  Please wait...",
        297,
        74,
        "MS Sans Serif",
        8,
        kWndVisible, // no system menu, so no close box
        {
            {1032, ECtlKind::kProgress, "", 36, 20, 225, 14, kStyleBorder},
            {kIdCancel, ECtlKind::kButton, "Cancel", 124, 42, 50, 14, 0, true},
        },
    };
    return tpl;
}
