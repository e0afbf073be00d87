// SPDX-License-Identifier: Apache-2.0
// A main window opened for a test, with its message boxes and file dialogs
// answered by the test instead of a person.
#pragma once

#include "support/test_items.h"
#include "ui/monitor_dlg.h"
#include "ui/toolkit/file_dialog.h"
#include "ui/toolkit/message_box.h"
#include "ui_test_util.h"

#include <QTreeWidget>
#include <string>
#include <vector>

class MonitorDlgTest : public testing::Test {
protected:
    void SetUp() override { Open(dlg); }

    static void Open(CMonitorDlg& d) {
        ASSERT_TRUE(d.Create());
        d.GetWindow()->show();
        QApplication::setActiveWindow(d.GetWindow()); // focus changes reach it
    }

    template <class T> T* W(int nId) { return dlg.Item<T>(nId); }

    std::vector<std::string> Column(int nCol) {
        std::vector<std::string> cells;
        for (int i = 0; i < dlg.ListView().GetItemCount(); ++i)
            cells.push_back(dlg.ListView().GetItemText(i, nCol));
        return cells;
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : boxes.m_boxes)
            texts.push_back(box.strText);
        return texts;
    }

    // Adds targets to the list and shows them.
    void SetTargets(std::initializer_list<CItem*> items) {
        for (CItem* pItem : items)
            dlg.List()->AddTail(pItem);
        dlg.RefreshList();
    }

    // Runs fn once the next pass has started, from within the pass.
    static void DuringNextPass(std::function<void()> fn) { QTimer::singleShot(0, fn); }

    CMessageBoxRecorder boxes;
    CFileDialogScript files;
    CMonitorDlg dlg;
};
