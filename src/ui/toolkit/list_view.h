// SPDX-License-Identifier: Apache-2.0
// The list view in report view: columns with titles and pixel widths, rows of
// text cells, a pointer attached to each row, and the selection. A cell may be
// set from any thread: the change is applied on the user-interface thread and
// the call returns once it is shown. As the status sink of a check pass it
// shows each target's result in the status column.
#pragma once

#include "check/status_sink.h"

#include <string>

class QTreeWidget;

class CListView : public CStatusSink {
public:
    // Created on the user-interface thread.
    explicit CListView(QTreeWidget* pTree = nullptr, int nStatusColumn = 2);

    void Attach(QTreeWidget* pTree) { m_pTree = pTree; }
    QTreeWidget* Tree() const { return m_pTree; }

    void DeleteAllItems();
    // Removes column nCol with its cells; false when there is no such column.
    bool DeleteColumn(int nCol);
    int GetColumnCount() const;
    // Inserts a centred column of nWidth pixels at nCol (at most the count).
    int InsertColumn(int nCol, const std::string& strTitle, int nWidth);
    std::string GetColumnTitle(int nCol) const;

    // Inserts a row at nRow (at most the count); returns its index.
    int InsertItem(int nRow, const std::string& strText);
    int GetItemCount() const;
    // Sets a cell, from any thread; returns once the cell shows the text.
    void SetItemText(int nRow, int nCol, const std::string& strText);
    std::string GetItemText(int nRow, int nCol) const;
    void SetItemData(int nRow, void* pData);
    void* GetItemData(int nRow) const;

    // The first selected row after nAfter (-1: from the start), or -1.
    int GetNextSelected(int nAfter = -1) const;
    void SelectRow(int nRow);
    // Paints the list view now rather than at the next paint event.
    void Repaint();
    // Paints the list view now when row nRow, just added to a list filled
    // from the top, lies in the visible area; rows below it need no paint of
    // their own. Rows have one height, measured on row 0.
    void RepaintNewRow(int nRow);

    // Sets the row's status cell to "Yes" or "No".
    void ShowResult(int nRow, const SRowResult& result) override;

private:
    void SetItemTextHere(int nRow, int nCol, const std::string& strText);

    QTreeWidget* m_pTree;
    int m_nStatusColumn;
    int m_nRowHeight = 0;
};
