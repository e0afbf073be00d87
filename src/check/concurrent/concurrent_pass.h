// SPDX-License-Identifier: Apache-2.0
// A check pass with many probes in flight at once: an event loop per
// processor (see probe_loop.h) takes the targets in list order and waits for
// its probes on one epoll set, as fping and mtr keep their echoes in flight.
// Each probe keeps the meaning it has alone
// (the echo's 10 s deadline and what counts as its reply, the stack's own
// connect outcome, a connection to itself failing), and the results still
// leave in list order: a target's result, log record and status text go out
// as soon as it and every target before it are done.
#pragma once

#include "check/pass_outcome.h"
#include "check/target_measure.h"

class CItemList;
class CStatusSink;

// Probes every target of `list` with up to `nJobs` probes at once (at least
// 1; fewer when the process may not open that many descriptors). Stores each
// result in the target's m_bOk, appends the log records due by the list's
// logging mode and log file (read afresh for each target), and shows each
// row's result (Yes or No, the probe's duration) as the sequential pass
// does; the sink and the log hear of one row at a time, from whichever
// loop's thread let it go. Host names are looked up on threads of their own,
// so a slow one holds up only its own target's report.
//
// When `nStopFd` (not owned; -1 for none) becomes readable, the pass ends at
// once: probes in flight are dropped unreported, their targets' m_bOk
// untouched, and allOk tells only of the targets reported.
//
// With `pMeasure` (not owned), each target gets its count of probes an
// interval apart, the result follows from them and the settings'
// thresholds, and the sink hears what they measured with each row's result.
SPassOutcome RunConcurrentPass(CItemList& list, CStatusSink& sink, int nJobs, int nStopFd = -1,
                               const SMeasureSettings* pMeasure = nullptr);
