// SPassOutcome: how one check pass went, as every engine that runs a pass
// reports it to its front end.
#pragma once

#include <cstdint>
#include <vector>

struct SPassOutcome {
    int32_t allOk = 1;     // every target reported responded (also for an empty list)
    bool bStopped = false; // the pass was told to stop; the rest was dropped
    // Each target's probe duration in seconds, in list order; 0 for a
    // target whose probe never ended.
    std::vector<double> probeSeconds;
};
