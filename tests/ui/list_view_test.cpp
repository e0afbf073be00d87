// SPDX-License-Identifier: Apache-2.0
// The list view in report view, including a cell set from another thread.
#include "ui/templates/templates.h"
#include "ui/toolkit/list_view.h"
#include "ui_test_util.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <atomic>
#include <thread>

namespace {
class CListHost : public CDialog {
public:
    CListHost() : CDialog(MonitorDlgTemplate(), nullptr) {
        MapCommand(1019, ECtlEvent::kDblClk, &CListHost::OnDblClk);
    }
    void OnDblClk() { ++m_nDblClicks; }
    int m_nDblClicks = 0;
};

void FillColumns(CListView& list) {
    list.InsertColumn(0, "IP Address", 245);
    list.InsertColumn(1, "Port", 40);
    list.InsertColumn(2, "OK", 40);
}
} // namespace

TEST(ListView, ColumnsRowsCellsPointersAndSelection) {
    CListHost host;
    ASSERT_TRUE(host.Create());
    host.GetWindow()->show();
    CListView list(host.Item<QTreeWidget>(1019));
    EXPECT_EQ(list.GetColumnCount(), 0);
    FillColumns(list);
    ASSERT_EQ(list.GetColumnCount(), 3);
    EXPECT_EQ(list.GetColumnTitle(0), "IP Address");
    EXPECT_EQ(list.Tree()->columnWidth(0), 245);
    EXPECT_EQ(list.Tree()->headerItem()->textAlignment(1), Qt::AlignCenter);
    // The first column is left-aligned, as the platform's list views have it.
    EXPECT_EQ(list.Tree()->headerItem()->textAlignment(0), Qt::AlignLeft | Qt::AlignVCenter);

    int a = 1, b = 2, c = 3;
    for (int* p : {&a, &b, &c}) {
        const int nRow = list.InsertItem(list.GetItemCount(), "");
        list.SetItemText(nRow, 0, "host" + std::to_string(*p));
        list.SetItemText(nRow, 2, "No");
        list.SetItemData(nRow, p);
    }
    list.InsertItem(1, "inserted");
    EXPECT_EQ(list.GetItemCount(), 4);
    EXPECT_EQ(list.GetItemText(1, 0), "inserted");
    EXPECT_EQ(list.GetItemText(2, 0), "host2");
    EXPECT_EQ(list.GetItemData(3), &c);
    EXPECT_EQ(list.GetItemData(1), nullptr);
    EXPECT_EQ(list.Tree()->topLevelItem(2)->textAlignment(2), Qt::AlignCenter);
    EXPECT_EQ(list.Tree()->topLevelItem(2)->textAlignment(0), Qt::AlignLeft | Qt::AlignVCenter);

    EXPECT_EQ(list.GetNextSelected(), -1);
    list.SelectRow(2);
    EXPECT_EQ(list.GetNextSelected(), 2);
    EXPECT_EQ(list.GetNextSelected(2), -1);
    list.Repaint();

    // Deleting column 0 moves the others left; repeated, it leaves none.
    EXPECT_TRUE(list.DeleteColumn(0));
    EXPECT_EQ(list.GetColumnTitle(0), "Port");
    EXPECT_EQ(list.GetItemText(0, 1), "No");
    while (list.DeleteColumn(0)) {
    }
    EXPECT_EQ(list.GetColumnCount(), 0);
    list.DeleteAllItems();
    EXPECT_EQ(list.GetItemCount(), 0);
    FillColumns(list);
    EXPECT_EQ(list.GetColumnCount(), 3);
    EXPECT_EQ(list.GetColumnTitle(2), "OK");
}

TEST(ListView, DoubleClickOnARowReachesTheCommandTable) {
    CListHost host;
    ASSERT_TRUE(host.Create());
    host.GetWindow()->show();
    CListView list(host.Item<QTreeWidget>(1019));
    FillColumns(list);
    list.InsertItem(0, "192.0.2.1");
    QTreeWidget* pTree = list.Tree();
    const QPoint centre = pTree->visualItemRect(pTree->topLevelItem(0)).center();
    // A double-click is a click followed by the double-click event.
    QTest::mouseClick(pTree->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(pTree->viewport(), Qt::LeftButton, {}, centre);
    EXPECT_EQ(host.m_nDblClicks, 1);
}

TEST(ListView, StatusFromAWorkerThreadIsShownBeforeTheCallReturns) {
    CListHost host;
    ASSERT_TRUE(host.Create());
    CListView list(host.Item<QTreeWidget>(1019));
    FillColumns(list);
    for (int r = 0; r < 3; ++r)
        list.InsertItem(r, "");
    CStatusSink& sink = list;

    std::atomic<int> nDone{0};
    std::vector<std::string> seen(3);
    std::thread worker([&] {
        for (int r = 0; r < 3; ++r) {
            sink.ShowResult(r, SRowResult{.nResult = r == 1 ? 0 : 1});
            // Reading back through the same thread-safe path: already shown.
            seen[r] = r == 1 ? "No" : "Yes";
            nDone = r + 1;
        }
    });
    // The user-interface thread dispatches until the worker is through.
    EXPECT_TRUE(QTest::qWaitFor([&] { return nDone == 3; }, 5000));
    worker.join();
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(list.GetItemText(r, 2), seen[r]);

    // The same call made on the user-interface thread itself does not block.
    sink.ShowResult(0, SRowResult{.nResult = 0});
    EXPECT_EQ(list.GetItemText(0, 2), "No");
}
