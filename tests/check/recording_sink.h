// SPDX-License-Identifier: Apache-2.0
// What the pass tests share: a sink that keeps each row it is told of, when
// and on which thread, and the building and reading of small lists.
#pragma once

#include "check/status_sink.h"
#include "model/item_list.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Keeps what the pass reported, row by row, when, and whether on the thread
// that made the sink.
class CRecordingSink : public CStatusSink {
public:
    struct SRow {
        int nRow;
        std::string strText;
        double dSeconds;
        double dAtMs; // since the sink was made
    };
    void ShowResult(int nRow, const SRowResult& result) override {
        std::chrono::duration<double, std::milli> at = std::chrono::steady_clock::now() - m_start;
        {
            std::lock_guard lock(m_mutex);
            m_rows.push_back({nRow, result.StatusText(), result.dSeconds, at.count()});
            m_bOnCallerThread |= std::this_thread::get_id() == m_caller;
        }
        if (m_fnOnRow)
            m_fnOnRow(nRow);
    }
    // The rows so far, each "ROW:TEXT".
    std::vector<std::string> Rows() {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> rows;
        for (const SRow& row : m_rows)
            rows.push_back(std::to_string(row.nRow) + ":" + row.strText);
        return rows;
    }
    std::vector<SRow> m_rows;
    std::function<void(int)> m_fnOnRow;
    bool m_bOnCallerThread = false;

private:
    std::mutex m_mutex;
    std::thread::id m_caller = std::this_thread::get_id();
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

inline void AddTarget(CItemList& list, int nMode, const std::string& strAddress, int nPort = 80) {
    auto* pItem = new CItem;
    pItem->m_nMode = nMode;
    pItem->m_strAddress = strAddress;
    pItem->m_nPort = nPort;
    list.AddTail(pItem);
}

inline std::vector<int32_t> Results(const CItemList& list) {
    std::vector<int32_t> results;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        results.push_back(list.GetNext(pos)->m_bOk);
    return results;
}

inline void ClearResults(CItemList& list) {
    for (POSITION pos = list.GetHeadPosition(); pos;)
        list.GetNext(pos)->m_bOk = -1;
}

// The log's records without their time stamps.
inline std::vector<std::string> LogRecords(const std::string& strPath) {
    std::vector<std::string> records;
    std::ifstream file(strPath);
    for (std::string strLine; std::getline(file, strLine);)
        records.push_back(strLine.substr(17));
    return records;
}
