// SPDX-License-Identifier: Apache-2.0
// Where a check pass shows each target's result: the "OK" cell of the
// target's row. The GUI's list view applies it on the user-interface thread;
// ostrel-cli prints it.
#pragma once

struct STargetMeasure;

class CStatusSink {
public:
    virtual ~CStatusSink() = default;
    // Sets the status cell of `row` (counted from 0) to `text` ("Yes" or "No").
    // Called from the pass's worker thread; returns only once the text is shown.
    virtual void SetStatusText(int row, const char* text) = 0;
    // How long the probe of `row` took, told just before its status text.
    virtual void SetProbeSeconds(int /*row*/, double /*dSeconds*/) {}
    // What the probes of `row` measured, told first, in a pass that measures.
    virtual void SetProbeMeasure(int /*row*/, const STargetMeasure& /*measure*/) {}
};
