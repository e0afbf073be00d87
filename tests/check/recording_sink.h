// What the concurrent pass tests share: a sink that keeps each row it is
// told of and when, and the building and reading of small lists.
#pragma once

#include "check/status_sink.h"
#include "model/item_list.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

// Keeps what the pass reported, row by row, and when.
class CRecordingSink : public CStatusSink {
public:
    struct SRow {
        int nRow;
        std::string strText;
        double dSeconds;
        double dAtMs; // since the sink was made
    };
    void SetProbeSeconds(int, double dSeconds) override { m_dSeconds = dSeconds; }
    void SetStatusText(int nRow, const char* pszText) override {
        std::chrono::duration<double, std::milli> at = std::chrono::steady_clock::now() - m_start;
        m_rows.push_back({nRow, pszText, m_dSeconds, at.count()});
        if (m_fnOnRow)
            m_fnOnRow(nRow);
    }
    std::vector<SRow> m_rows;
    std::function<void(int)> m_fnOnRow;

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    double m_dSeconds = -1;
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
