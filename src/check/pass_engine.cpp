// SPDX-License-Identifier: Apache-2.0
#include "check/pass_engine.h"

#include "check/check_worker.h"
#include "check/concurrent/concurrent_pass.h"
#include "model/item_list.h"

SPassOutcome RunListPass(CItemList& list, CStatusSink& sink, int nJobs, int nStopFd,
                         const SMeasureSettings* pMeasure) {
    if (nJobs > 1 || nStopFd >= 0 || pMeasure)
        return RunConcurrentPass(list, sink, nJobs, nStopFd, pMeasure);
    SPassOutcome outcome;
    outcome.allOk = RunCheckPass(list, sink);
    return outcome;
}
