// SPDX-License-Identifier: Apache-2.0
// The lines `check` and `watch` print, one per target as its result goes
// out.
#pragma once

#include "check/status_sink.h"
#include "cli/cli_support.h"

#include <optional>

// Prints one line per row as the pass reports it, in list order: the row
// (from 1), the address, ICMP or the port, Yes or No, and the probe's
// duration, the address padded to the widest of the list as the terminal
// shows them, so that the columns after it line up; or, for JSON, one object
// per line.
class CProbeLinePrinter : public CStatusSink {
public:
    CProbeLinePrinter(const CItemList& list, bool bJson);

    void ShowResult(int nRow, const SRowResult& result) override;

private:
    const CItemList& m_list;
    POSITION m_pos; // the row reported next
    bool m_bJson;
    size_t m_nAddressWidth = 0; // characters of the widest address as shown
};
