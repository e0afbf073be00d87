// SPDX-License-Identifier: Apache-2.0
// The lines `check` and `watch` print, one per target as its result goes
// out.
#pragma once

#include "check/status_sink.h"
#include "check/target_measure.h"
#include "cli/cli_support.h"

#include <optional>

// Prints one line per row as the pass reports it, in list order: the row
// (from 1), the address, ICMP or the port, Yes or No, and the probe's
// duration; or, for JSON, one object per line.
class CProbeLinePrinter : public CStatusSink {
public:
    CProbeLinePrinter(const CItemList& list, bool bJson);

    void SetProbeSeconds(int nRow, double dSeconds) override;
    void SetStatusText(int nRow, const char* pszText) override;
    void SetProbeMeasure(int nRow, const STargetMeasure& measure) override;

private:
    const CItemList& m_list;
    POSITION m_pos; // the row reported next
    bool m_bJson;
    double m_dSeconds = 0;                   // the duration told for the row reported next
    std::optional<STargetMeasure> m_measure; // and its measure, in a pass that measures
};
