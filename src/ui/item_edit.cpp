// SPDX-License-Identifier: Apache-2.0
// CItem::Edit lives with the user interface: the core library has no windows.
#include "model/item.h"
#include "ui/item_dlg.h"
#include "ui/toolkit/app_window.h"

void CItem::Edit() {
    CItemDlg dlg(this, GetMainWindow());
    dlg.DoModal();
}
