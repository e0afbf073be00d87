// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/dialog_template.h"

const CDlgControl* CDialogTemplate::Find(int nControlId) const {
    for (const CDlgControl& c : controls)
        if (c.nId == nControlId)
            return &c;
    return nullptr;
}
