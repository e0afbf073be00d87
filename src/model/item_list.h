// SPDX-License-Identifier: Apache-2.0
// CItemList: the ordered targets of one list file, which it owns, and the
// monitoring, logging and alert settings that go with them.
#pragma once

#include "framework/ob_list.h"
#include "model/item.h"

#include <cstdint>
#include <string>

// Which probe results reach the log file.
enum LoggingMode : int32_t { kLogNever = 0, kLogOnFailure = 1, kLogAlways = 2 };

class CItemList : public CObList {
    DECLARE_SERIAL(CItemList)
public:
    CItemList() = default;
    ~CItemList() override = default;
    // Settings in file order, then the count and each target as an object.
    void Serialize(CArchive& ar) override;

    POSITION AddTail(CItem* pItem) { return CObList::AddTail(pItem); }
    CItem* GetNext(POSITION& pos) const { return static_cast<CItem*>(CObList::GetNext(pos)); }
    CItem* GetAt(POSITION pos) const { return static_cast<CItem*>(CObList::GetAt(pos)); }

    std::string m_strLogFile;       // empty: no log records
    int32_t m_nLogging = kLogNever; // LoggingMode
    int32_t m_bPopup = 1;
    std::string m_strSound;   // .wav played on a failed scheduled pass; empty: none
    std::string m_strExecute; // command line started on a failed scheduled pass; empty: none
    int32_t m_nPeriod = 15;   // minutes between scheduled passes
    int32_t m_bAutoStart = 0; // start monitoring when loaded at start-up

    // Not saved: the log file and command of a list from elsewhere that its
    // user did not allow for this session. No record goes to the log file,
    // and the window runs no command, while the setting still holds the
    // value held; empty holds nothing.
    std::string m_strHeldLogFile;
    std::string m_strHeldExecute;
    bool IsLogFileHeld() const {
        return !m_strHeldLogFile.empty() && m_strLogFile == m_strHeldLogFile;
    }
    bool IsCommandHeld(const std::string& strCommand) const {
        return !m_strHeldExecute.empty() && strCommand == m_strHeldExecute;
    }

private:
    using CObList::AddTail; // only targets go into a target list
};
