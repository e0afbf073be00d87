// SPDX-License-Identifier: Apache-2.0
// CWatchPass in-process, with a prober that answers from a script: each
// pass's events in order with their targets' words, and the textfile
// written after the alert state.
#include "monitor/watch_pass.h"

#include "support/test_files.h"
#include "support/test_items.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {
struct SCase {
    const char* what;
    SAlertRules rules;
    // Per pass: with a canary, "+" when it answers and "!" when it fails;
    // then a result per target ("10": the first answered, the second not).
    std::vector<const char*> passes;
    // Per pass: the events, then "|" and each target's failed passes in a
    // row as the textfile gives them; passes joined by "; ".
    const char* expected;
};

// The textfile's values of `strName`, joined by ",".
std::string Values(const std::string& text, const std::string& strName) {
    std::istringstream lines(text);
    std::string out;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(strName + "{"))
            out += (out.empty() ? "" : ",") + line.substr(line.rfind(' ') + 1);
    return out;
}

// The prober: the canary answers unless the pass says "!", each target as
// its digit says; each row's duration is its row number from 1. It sends
// nothing: the targets are names that are never looked up.
std::string EventsOverPasses(const SCase& c, const std::string& strTextfile) {
    CItemList list;
    list.AddTail(NewItem(-1, 0, "host-a", 0));
    list.AddTail(NewItem(-1, 1, "host-b", 80));
    const bool bCanary = c.passes[0][0] == '+' || c.passes[0][0] == '!';
    std::string strPass, strCalls;
    const FListPass fnFake = [&](CItemList& pass, CStatusSink& sink, int, const SMeasureSettings*) {
        const bool bTargets = &pass == &list;
        const std::string strDigits = strPass.substr(bCanary ? 1 : 0);
        strCalls += bTargets ? "list " : "canaries ";
        int nRow = 0;
        for (POSITION pos = pass.GetHeadPosition(); pos; ++nRow) {
            CItem* pItem = pass.GetNext(pos);
            pItem->m_bOk = bTargets ? strDigits[nRow] - '0' : strPass[0] != '!';
            sink.ShowResult(nRow, SRowResult{pItem->m_bOk, nRow + 1.0});
        }
        return SPassOutcome{};
    };
    SWatchSettings settings;
    settings.alertRules = c.rules;
    settings.textfile = strTextfile;
    if (bCanary) {
        settings.pCanaries = std::make_unique<CItemList>();
        settings.pCanaries->AddTail(NewItem(-1, 1, "::1", 7));
    }
    CWatchPass watch(std::move(settings), fnFake);
    std::string out;
    for (const char* pszPass : c.passes) {
        strPass = pszPass;
        strCalls.clear();
        class CNoDisplay : public CStatusSink {
            void ShowResult(int, const SRowResult&) override {}
        } display;
        std::string text;
        for (const SWatchEvent& event : watch.Run(list, display).events) {
            text += AlertEventName(event.event) + std::string("[");
            for (size_t i = 0; i < event.words.size(); ++i)
                text += (i ? "," : "") + event.words[i];
            text += "] ";
        }
        const std::string file = ReadText(strTextfile);
        out += (out.empty() ? "" : "; ") + text + "|" +
               Values(file, "ostrel_target_consecutive_failures");
        EXPECT_EQ(Values(file, "ostrel_probe_duration_seconds"), "1,2") << c.what;
        EXPECT_EQ(strCalls, bCanary ? "canaries list " : "list ") << c.what;
    }
    return out;
}

const SCase kCases[] = {
    {"failed names the targets that failed",
     {},
     {"10", "11", "00"},
     "failed[host-b:80] |0,1; |0,0; failed[host-a,host-b:80] |1,1"},
    {"down and up by state",
     {2, 1, 0},
     {"00", "01", "01", "11"},
     "|1,1; down[host-a] |2,0; |3,0; up[host-a] |0,0"},
    {"every canary failing: one link-down, no target charged",
     {2, 1, 0},
     {"+00", "!00", "!00", "+00"},
     "|1,1; link-down[[::1]:7] |1,1; |1,1; link-up[[::1]:7] down[host-a,host-b:80] |2,2"},
};

TEST(WatchPass, EventsWithTheirWordsAndTheTextfileAfterTheAlertState) {
    CTempDir dir;
    for (const SCase& c : kCases)
        EXPECT_EQ(EventsOverPasses(c, dir / "metrics.prom"), c.expected) << c.what;
}
} // namespace
