// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/list_view.h"

#include "ui/toolkit/text.h"
#include "ui/toolkit/ui_thread_calls.h"

#include <QHeaderView>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>

namespace {
constexpr int kDataRole = Qt::UserRole;

// The first column of a list view is always left-aligned, whatever its
// format asks; the others are centred.
Qt::Alignment ColumnAlignment(int nCol) {
    return nCol == 0 ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::Alignment(Qt::AlignCenter);
}

// Moves the cells of every row and the header from column nFrom to nTo.
void MoveColumn(QTreeWidget* pTree, int nFrom, int nTo) {
    QTreeWidgetItem* pHeader = pTree->headerItem();
    pHeader->setText(nTo, pHeader->text(nFrom));
    pTree->setColumnWidth(nTo, pTree->columnWidth(nFrom));
    for (int i = 0; i < pTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* pItem = pTree->topLevelItem(i);
        pItem->setText(nTo, pItem->text(nFrom));
    }
}

// Columns that moved take the alignment of their new place.
void AlignColumns(QTreeWidget* pTree) {
    for (int c = 0; c < pTree->columnCount(); ++c) {
        pTree->headerItem()->setTextAlignment(c, ColumnAlignment(c));
        for (int i = 0; i < pTree->topLevelItemCount(); ++i)
            pTree->topLevelItem(i)->setTextAlignment(c, ColumnAlignment(c));
    }
}
} // namespace

CListView::CListView(QTreeWidget* pTree, int nStatusColumn)
    : m_pTree(pTree), m_nStatusColumn(nStatusColumn) {
    InitUiThreadCalls(); // cells may be set from other threads
}

void CListView::DeleteAllItems() {
    m_pTree->clear();
}

int CListView::GetColumnCount() const {
    // A QTreeWidget always has at least one column; an untitled, zero-width
    // one stands for "no column".
    const int nCount = m_pTree->columnCount();
    if (nCount == 1 && m_pTree->headerItem()->data(0, kDataRole).toBool() == false)
        return 0;
    return nCount;
}

bool CListView::DeleteColumn(int nCol) {
    const int nCount = GetColumnCount();
    if (nCol < 0 || nCol >= nCount)
        return false;
    for (int c = nCol; c + 1 < nCount; ++c)
        MoveColumn(m_pTree, c + 1, c);
    if (nCount == 1) {
        m_pTree->headerItem()->setText(0, QString());
        m_pTree->headerItem()->setData(0, kDataRole, false);
        m_pTree->setColumnWidth(0, 0);
        for (int i = 0; i < m_pTree->topLevelItemCount(); ++i)
            m_pTree->topLevelItem(i)->setText(0, QString());
    } else {
        m_pTree->setColumnCount(nCount - 1);
    }
    AlignColumns(m_pTree);
    return true;
}

int CListView::InsertColumn(int nCol, const std::string& strTitle, int nWidth) {
    const int nCount = GetColumnCount();
    nCol = std::clamp(nCol, 0, nCount);
    if (nCount > 0)
        m_pTree->setColumnCount(nCount + 1);
    for (int c = nCount; c > nCol; --c)
        MoveColumn(m_pTree, c - 1, c);
    QTreeWidgetItem* pHeader = m_pTree->headerItem();
    pHeader->setText(nCol, ToQString(strTitle));
    pHeader->setData(nCol, kDataRole, true);
    m_pTree->setColumnWidth(nCol, nWidth);
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i)
        m_pTree->topLevelItem(i)->setText(nCol, QString());
    AlignColumns(m_pTree);
    return nCol;
}

std::string CListView::GetColumnTitle(int nCol) const {
    return FromQString(m_pTree->headerItem()->text(nCol));
}

int CListView::InsertItem(int nRow, const std::string& strText) {
    nRow = std::clamp(nRow, 0, GetItemCount());
    auto* pItem = new QTreeWidgetItem();
    for (int c = 0; c < m_pTree->columnCount(); ++c)
        pItem->setTextAlignment(c, ColumnAlignment(c));
    pItem->setText(0, ToQString(strText));
    m_pTree->insertTopLevelItem(nRow, pItem);
    return nRow;
}

int CListView::GetItemCount() const {
    return m_pTree->topLevelItemCount();
}

void CListView::SetItemTextHere(int nRow, int nCol, const std::string& strText) {
    if (QTreeWidgetItem* pItem = m_pTree->topLevelItem(nRow); pItem && nCol < GetColumnCount())
        pItem->setText(nCol, ToQString(strText));
}

void CListView::SetItemText(int nRow, int nCol, const std::string& strText) {
    if (QThread::currentThread() == m_pTree->thread()) {
        SetItemTextHere(nRow, nCol, strText);
        return;
    }
    // Another thread: the user-interface thread applies the change while it
    // dispatches, and this thread waits until it has.
    CallOnUiThread([&] { SetItemTextHere(nRow, nCol, strText); });
}

std::string CListView::GetItemText(int nRow, int nCol) const {
    const QTreeWidgetItem* pItem = m_pTree->topLevelItem(nRow);
    return pItem ? FromQString(pItem->text(nCol)) : std::string();
}

void CListView::SetItemData(int nRow, void* pData) {
    if (QTreeWidgetItem* pItem = m_pTree->topLevelItem(nRow))
        pItem->setData(0, kDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(pData)));
}

void* CListView::GetItemData(int nRow) const {
    const QTreeWidgetItem* pItem = m_pTree->topLevelItem(nRow);
    return pItem ? reinterpret_cast<void*>(pItem->data(0, kDataRole).value<quintptr>()) : nullptr;
}

int CListView::GetNextSelected(int nAfter) const {
    for (int i = std::max(nAfter + 1, 0); i < GetItemCount(); ++i)
        if (m_pTree->topLevelItem(i)->isSelected())
            return i;
    return -1;
}

void CListView::SelectRow(int nRow) {
    if (QTreeWidgetItem* pItem = m_pTree->topLevelItem(nRow))
        m_pTree->setCurrentItem(pItem);
}

void CListView::Repaint() {
    m_pTree->viewport()->repaint();
}

void CListView::RepaintNewRow(int nRow) {
    if (nRow == 0) {
        QTreeWidgetItem* pItem = m_pTree->topLevelItem(0);
        m_nRowHeight = pItem ? m_pTree->visualItemRect(pItem).height() : 0;
        if (m_nRowHeight <= 0) // not laid out yet
            m_nRowHeight = m_pTree->fontMetrics().height();
    }
    if (int64_t{nRow} * m_nRowHeight < m_pTree->viewport()->height())
        Repaint();
}

void CListView::ShowResult(int nRow, const SRowResult& result) {
    SetItemText(nRow, m_nStatusColumn, result.StatusText());
}
