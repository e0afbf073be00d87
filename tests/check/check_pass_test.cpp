// SPDX-License-Identifier: Apache-2.0
#include "check/check_pass.h"
#include "check/check_worker.h"
#include "model/item_list.h"
#include "recording_sink.h"
#include "support/loopback_port.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
class CheckPass : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()); }

    // Appends a TCP target on loopback: the listening port or the refusing one.
    CItem* AddTarget(CItemList& list, bool bAnswers) {
        auto* pItem = new CItem;
        pItem->m_strAddress = "127.0.0.1";
        pItem->m_nPort = bAnswers ? m_listening.Port() : m_refusing.Port();
        pItem->m_bOk = bAnswers ? 0 : 1; // the pass must overwrite both
        list.AddTail(pItem);
        return pItem;
    }
    // The log's records without their time fields.
    std::vector<std::string> LogRecords(const std::string& strPath) const {
        std::ifstream file(strPath, std::ios::binary);
        std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        std::vector<std::string> records;
        for (size_t nStart = 0, nEnd; (nEnd = text.find("\r\n", nStart)) != std::string::npos;
             nStart = nEnd + 2)
            records.push_back(text.substr(nStart + 17, nEnd - nStart - 17));
        return records;
    }
    std::string Record(bool bOk, const CLoopbackPort& port) const {
        return std::string(bOk ? ", 1" : ", 0") + ", \"127.0.0.1\", 1, " +
               std::to_string(port.Port());
    }

    CTempDir m_dir;
    CLoopbackPort m_listening{true};
    CLoopbackPort m_refusing{false};
};
} // namespace

TEST_F(CheckPass, SecondOfThreeFails) {
    CItemList list;
    AddTarget(list, true);
    AddTarget(list, false);
    AddTarget(list, true);
    CRecordingSink sink;
    EXPECT_EQ(RunCheckPass(list, sink), 0);
    EXPECT_EQ(sink.Rows(), (std::vector<std::string>{"0:Yes", "1:No", "2:Yes"}));
    EXPECT_FALSE(sink.m_bOnCallerThread) << "the probes run on the worker";
    EXPECT_EQ(Results(list), (std::vector<int32_t>{1, 0, 1}));
    EXPECT_EQ(CheckPassState.allOk, 0);
    EXPECT_EQ(CheckPassState.list, &list);
    EXPECT_EQ(CheckPassState.listView, &sink);
    EXPECT_EQ(m_listening.AcceptAndDrain(), 0);
    EXPECT_EQ(m_listening.AcceptAndDrain(), 0);
}

TEST_F(CheckPass, AllRespondingAndEmptyListsGiveOne) {
    CItemList list;
    CRecordingSink emptySink;
    EXPECT_EQ(RunCheckPass(list, emptySink), 1);
    EXPECT_TRUE(emptySink.Rows().empty());

    AddTarget(list, true);
    AddTarget(list, true);
    CRecordingSink sink;
    EXPECT_EQ(RunCheckPass(list, sink), 1);
    EXPECT_EQ(sink.Rows(), (std::vector<std::string>{"0:Yes", "1:Yes"}));
    EXPECT_EQ(Results(list), (std::vector<int32_t>{1, 1}));
}

TEST_F(CheckPass, LoggingModesWriteTheRecordsDue) {
    const std::string strYes = Record(true, m_listening), strNo = Record(false, m_refusing);
    struct SCase {
        int32_t nLogging;
        bool bPath;
        std::vector<std::string> records;
    };
    const SCase cases[] = {
        {0, true, {}}, {1, true, {strNo}}, {2, true, {strYes, strNo, strYes}},
        {3, true, {}}, {-1, true, {}},     {2, false, {}},
    };
    int nCase = 0;
    for (const SCase& c : cases) {
        CItemList list;
        AddTarget(list, true);
        AddTarget(list, false);
        AddTarget(list, true);
        list.m_nLogging = c.nLogging;
        std::string strPath = m_dir / ("case" + std::to_string(nCase++) + ".log");
        list.m_strLogFile = c.bPath ? strPath : "";
        CRecordingSink sink;
        EXPECT_EQ(RunCheckPass(list, sink), 0);
        EXPECT_EQ(LogRecords(strPath), c.records) << "mode " << c.nLogging << " path " << c.bPath;
        EXPECT_EQ(std::filesystem::exists(strPath), !c.records.empty());
        while (m_listening.AcceptAndDrain() >= 0) {
        }
    }
}

// The worker reads the logging mode afresh for every target: switching from
// Never to Always while row 0 is shown logs rows 1 and 2 only.
TEST_F(CheckPass, LoggingModeChangeTakesEffectFromTheNextTarget) {
    CItemList list;
    AddTarget(list, true);
    AddTarget(list, false);
    AddTarget(list, true);
    list.m_strLogFile = m_dir / "switch.log";
    CRecordingSink sink;
    sink.m_fnOnRow = [&](int nRow) {
        if (nRow == 0)
            std::atomic_ref<int32_t>(list.m_nLogging).store(kLogAlways);
    };
    EXPECT_EQ(RunCheckPass(list, sink), 0);
    EXPECT_EQ(LogRecords(list.m_strLogFile),
              (std::vector<std::string>{Record(false, m_refusing), Record(true, m_listening)}));
}

TEST_F(CheckPass, UnwritableLogLeavesTheResult) {
    CItemList list;
    AddTarget(list, true);
    AddTarget(list, false);
    list.m_nLogging = kLogAlways;
    list.m_strLogFile = m_dir.Path(); // a folder
    CRecordingSink sink;
    EXPECT_EQ(RunCheckPass(list, sink), 0);
    EXPECT_EQ(sink.Rows(), (std::vector<std::string>{"0:Yes", "1:No"}));
    EXPECT_EQ(Results(list), (std::vector<int32_t>{1, 0}));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
}

// The worker tells its end through the callback, and a second pass cannot
// start while one runs.
TEST_F(CheckPass, WorkerSignalsItsEndAndPassesNeverOverlap) {
    CItemList list;
    AddTarget(list, true);
    std::mutex mutex;
    std::condition_variable changed;
    bool bRowShown = false, bRelease = false, bFinished = false;
    CRecordingSink sink;
    sink.m_fnOnRow = [&](int) {
        std::unique_lock lock(mutex);
        bRowShown = true;
        changed.notify_all();
        changed.wait(lock, [&] { return bRelease; });
    };
    CCheckWorker worker;
    ASSERT_TRUE(worker.Start(list, sink, [&] {
        std::lock_guard lock(mutex);
        bFinished = true;
        changed.notify_all();
    }));
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return bRowShown; });
    }
    CItemList other;
    CRecordingSink otherSink;
    CCheckWorker second;
    EXPECT_FALSE(second.Start(other, otherSink)) << "a pass is running";
    EXPECT_EQ(RunCheckPass(other, otherSink), 0);
    EXPECT_EQ(CheckPassState.list, &list) << "the running pass's record is untouched";
    {
        std::unique_lock lock(mutex);
        bRelease = true;
        changed.notify_all();
        changed.wait(lock, [&] { return bFinished; });
    }
    EXPECT_EQ(worker.Join(), 1);
    EXPECT_EQ(sink.Rows(), (std::vector<std::string>{"0:Yes"}));
    EXPECT_TRUE(second.Start(other, otherSink)) << "the next pass may start once joined";
    EXPECT_EQ(second.Join(), 1);
}
