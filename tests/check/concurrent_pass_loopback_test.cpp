// SPDX-License-Identifier: Apache-2.0
// Many probes in flight at once, on several event loops: the same results
// and log as one probe after the other, row for row.
#include "check/check_worker.h"
#include "check/concurrent/concurrent_pass.h"
#include "icmp_access.h"
#include "recording_sink.h"
#include "support/loopback_port.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace {
void ExpectRowsInOrder(const CRecordingSink& sink, size_t nRows) {
    ASSERT_EQ(sink.m_rows.size(), nRows);
    for (size_t i = 0; i < nRows; ++i) {
        EXPECT_EQ(sink.m_rows[i].nRow, static_cast<int>(i));
        EXPECT_GE(sink.m_rows[i].dSeconds, 0.0);
    }
}
} // namespace

// Listening and refusing ports, names from /etc/hosts, short dotted forms,
// an empty address and (where this process may) echoes on loopback, probed
// with several job counts: each pass gives the sequential pass's results and
// log, row for row.
TEST(ConcurrentPass, MatchesTheSequentialPassOnLoopback) {
    CLoopbackPort listening(true), refusing(false);
    CItemList list;
    for (int i = 0; i < 12; ++i) {
        AddTarget(list, kProbeTcp, "127.0.0.1", listening.Port());
        AddTarget(list, kProbeTcp, "127.0.0.1", refusing.Port());
        AddTarget(list, kProbeTcp, "localhost", listening.Port());
        AddTarget(list, kProbeTcp, "127.1", i % 2 ? listening.Port() : refusing.Port());
        AddTarget(list, kProbeTcp, "");
        if (CanOpenIcmpSocket())
            AddTarget(list, kProbeIcmp, "127.0.0." + std::to_string(i + 1));
    }
    CTempDir dir;
    list.m_nLogging = kLogAlways;
    list.m_strLogFile = dir / "sequential.log";
    CRecordingSink sequentialSink;
    EXPECT_EQ(RunCheckPass(list, sequentialSink), 0);
    const std::vector<int32_t> expected = Results(list);
    while (listening.AcceptAndDrain() >= 0) {
    }
    for (int nJobs : {1, 2, 7, 64}) {
        SCOPED_TRACE("jobs " + std::to_string(nJobs));
        ClearResults(list);
        list.m_strLogFile = dir / ("jobs" + std::to_string(nJobs) + ".log");
        CRecordingSink sink;
        SPassOutcome outcome = RunConcurrentPass(list, sink, nJobs);
        EXPECT_EQ(outcome.allOk, 0);
        EXPECT_FALSE(outcome.bStopped);
        EXPECT_EQ(Results(list), expected);
        ExpectRowsInOrder(sink, expected.size());
        for (size_t i = 0; i < expected.size() && i < sink.m_rows.size(); ++i)
            EXPECT_EQ(sink.m_rows[i].strText, expected[i] ? "Yes" : "No") << "row " << i;
        EXPECT_EQ(LogRecords(list.m_strLogFile), LogRecords(dir / "sequential.log"));
        while (listening.AcceptAndDrain() >= 0) {
        }
    }
    CItemList empty;
    CRecordingSink sink;
    EXPECT_EQ(RunConcurrentPass(empty, sink, 8).allOk, 1);
    EXPECT_TRUE(sink.m_rows.empty());
}
