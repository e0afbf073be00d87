// SPDX-License-Identifier: Apache-2.0
// SPassOutcome: how one check pass went, as every engine that runs a pass
// reports it to its front end. Each row's own result (its duration, its
// measure) reaches the front end through the status sink.
#pragma once

#include <cstdint>

struct SPassOutcome {
    int32_t allOk = 1;     // every target reported responded (also for an empty list)
    bool bStopped = false; // the pass was told to stop; the rest was dropped
};
