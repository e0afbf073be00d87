// SPDX-License-Identifier: Apache-2.0
// Creates the widget of one template control in a dialog window, placed by
// its dialog units, without any event wiring.
#pragma once

#include "ui/toolkit/dialog_template.h"
#include "ui/toolkit/dialog_units.h"

class QWidget;

// `pPrevious` is the widget created just before (a spin's buddy).
QWidget* CreateControl(const CDlgControl& ctl, const CDialogUnits& units, QWidget* pWnd,
                       QWidget* pPrevious);
