// SPDX-License-Identifier: Apache-2.0
// Where a check pass shows each target's result: the "OK" cell of the
// target's row. The GUI's list view applies it on the user-interface thread;
// ostrel-cli prints it, and `watch` also keeps it for its textfile.
#pragma once

#include "check/target_measure.h"

#include <cstdint>
#include <optional>

// One finished row's result.
struct SRowResult {
    int32_t nResult = 0; // 1: the target responded, 0: it did not
    double dSeconds = 0; // how long its probe took (all its probes, in a pass that measures)
    std::optional<STargetMeasure> measure = {}; // what its probes measured, in a pass that measures

    // "Yes" or "No", as the status cell shows it.
    const char* StatusText() const { return nResult ? "Yes" : "No"; }
};

class CStatusSink {
public:
    virtual ~CStatusSink() = default;
    // Row `nRow` (counted from 0) has finished: told once per row, in list
    // order, from the pass's worker thread; returns only once it is shown.
    virtual void ShowResult(int nRow, const SRowResult& result) = 0;
};
