// SPDX-License-Identifier: Apache-2.0
// SPassOutcome: how one check pass went, as every engine that runs a pass
// reports it to its front end.
#pragma once

#include "check/target_measure.h"

#include <cstdint>
#include <vector>

struct SPassOutcome {
    int32_t allOk = 1;     // every target reported responded (also for an empty list)
    bool bStopped = false; // the pass was told to stop; the rest was dropped
    // Each target's probe duration in seconds, in list order; 0 for a
    // target whose probe never ended.
    std::vector<double> probeSeconds;
    // Each target's probes in list order, when the pass measured them (a
    // count, interval, threshold or timeout was given); else empty.
    std::vector<STargetMeasure> measures{};
};
