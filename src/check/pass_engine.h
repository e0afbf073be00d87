// SPDX-License-Identifier: Apache-2.0
// RunListPass: the one place that chooses how a front end without a window
// runs a check pass over a list.
#pragma once

#include "check/pass_outcome.h"
#include "check/target_measure.h"

class CItemList;
class CStatusSink;

// Runs one pass over `list`, reporting to `sink` as every pass does (m_bOk,
// log records, each row's result, in list order).
//
// With one job and nothing that may stop the pass midway (`nStopFd` -1),
// this is the window's own sequential pass. Otherwise it is the concurrent
// prober with up to `nJobs` probes in flight: it is the engine that can drop
// the probes in flight the moment `nStopFd` becomes readable, where the
// sequential pass always finishes the probe it is in (an unanswered echo
// takes 10 s). Both engines give the same results and log records.
//
// With `pMeasure` (not owned), a pass that measures (several probes per
// target, round trips, thresholds, a timeout): always the concurrent prober,
// the engine that keeps a target's probes in flight an interval apart.
SPassOutcome RunListPass(CItemList& list, CStatusSink& sink, int nJobs, int nStopFd = -1,
                         const SMeasureSettings* pMeasure = nullptr);
