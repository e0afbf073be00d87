// SPDX-License-Identifier: Apache-2.0
// CWatchPass: one pass of monitoring without a window, whole and in order:
// the canaries, the pass over the list, the alert state, the textfile, and
// the events the pass raises, each naming its targets by their digest words
// (AlertTargetWord). It shows nothing itself: each row's result goes to the
// caller's sink, and the events come back to the caller to raise. The probes
// are run by the function it is given, so that a test can answer for them.
#pragma once

#include "check/pass_outcome.h"
#include "check/status_sink.h"
#include "model/item_list.h"
#include "monitor/target_alert_state.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct SPassMetrics;

// Runs one pass over `list` with up to `nJobs` probes at once, measuring by
// `pMeasure` (null: one probe per target), and reports each row to `sink`
// as every pass does (m_bOk, log records, the row's result).
using FListPass = std::function<SPassOutcome(CItemList& list, CStatusSink& sink, int nJobs,
                                             const SMeasureSettings* pMeasure)>;

// The pass of check/pass_engine.h, dropped at once when `nStopFd` (not owned)
// becomes readable.
FListPass ListPassStoppedBy(int nStopFd);

// How each pass runs and what it writes besides the rows.
struct SWatchSettings {
    int nJobs = 1;
    SAlertRules alertRules;                  // when events are raised
    std::unique_ptr<CItemList> pCanaries;    // probed first in each pass; null or empty: none
    std::optional<SMeasureSettings> measure; // each pass measures, by these
    std::optional<std::string> textfile;     // where the metrics of each pass go
};

// An event to raise and the words of the targets it concerns: for link-down
// and link-up, every canary's.
struct SWatchEvent {
    EAlertEvent event;
    std::vector<std::string> words;
};

// What a pass leaves to its caller.
struct SWatchPassResult {
    bool bStopped = false;           // told to stop midway: nothing after the probes was done
    std::vector<SWatchEvent> events; // to raise, in order
    std::string strTextfileError;    // why the textfile could not be written; empty when it was
};

class CWatchPass {
public:
    CWatchPass(SWatchSettings settings, FListPass fnListPass);

    // One pass over `list`, whose rows go to `display` as they finish. A
    // list read again between passes keeps the alert state of every target
    // it still holds.
    SWatchPassResult Run(CItemList& list, CStatusSink& display);

private:
    // Whether a canary answered; nullopt without canaries. Sets bStopped
    // when the canaries' pass was told to stop.
    std::optional<bool> ProbeCanaries(bool& bStopped);
    std::string WriteTextfile(const CItemList& list, SPassMetrics& metrics,
                              std::optional<bool> linkUp) const;

    SWatchSettings m_settings;
    FListPass m_fnListPass;
    std::vector<std::string> m_canaryWords;
    CTargetAlertState m_alertState;
};
