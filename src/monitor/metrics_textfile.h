// SPDX-License-Identifier: Apache-2.0
// The results of each pass as a node_exporter textfile: the Prometheus text
// exposition format (version 0.0.4), written whole for the textfile
// collector to read at any time.
//
// Per target, in list order: ostrel_target_up (1 or 0) and
// ostrel_probe_duration_seconds, labelled row (from 1), address, mode ("icmp"
// or "tcp") and port (the stored port in decimal, for ICMP targets too). For
// the pass: ostrel_pass_duration_seconds, ostrel_pass_targets,
// ostrel_pass_failed_targets and ostrel_pass_end_timestamp_seconds. All are
// gauges. An address is written as UTF-8 as the format requires, each byte
// read as its Windows-1252 character, as the window shows it (the five
// bytes Windows-1252 leaves undefined as the C1 controls of the same value),
// whatever the locale; then backslash, double quote and line feed escaped as
// \\, \" and \n. Other control characters stay as they are, which the
// format allows, so a parser gives back the address as the window shows it,
// and its bytes by the reverse mapping. Counts are written as
// integers, other values in the fewest digits that read back as the same
// double (NaN, +Inf and -Inf as the format spells them).
#pragma once

#include "check/target_measure.h"
#include "model/item_list.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One pass's results for the textfile besides each target's m_bOk.
struct SPassMetrics {
    std::vector<double> probeSeconds; // one per target of the list, list order
    double dPassSeconds = 0;          // the whole pass
    double dEndUnixSeconds = 0;       // wall-clock time the pass ended
    // The alert state after the pass (defaulted, so initializers may leave
    // the rest out), one per target in list order; not
    // written when empty: ostrel_target_consecutive_failures (failed passes
    // in a row) and ostrel_target_down (1 while the target counts as down).
    std::vector<int32_t> consecutiveFailures = {};
    std::vector<int32_t> down = {};
    // ostrel_link_up: whether a canary answered; not written without one.
    std::optional<bool> linkUp = {};
    // Each target's probes, list order, when the pass measured them; else
    // empty. They add ostrel_target_rtt_seconds (the average round trip,
    // for the targets that answered) and ostrel_target_loss_ratio (0 to 1).
    std::vector<STargetMeasure> measures{};
};

// The textfile's content. A target past the end of metrics.probeSeconds has
// no duration sample.
std::string FormatMetricsText(const CItemList& list, const SPassMetrics& metrics);

// Writes the metrics of `list` (each target's m_bOk is its result) to
// strPath, whole: the text goes to a temporary file in the same folder, which
// replaces strPath in one rename once it is on disk, so a reader sees the
// previous pass or this one, never part of one; a device or pipe at strPath
// gets the text directly. A new file is created 0666 less the umask, but
// always readable and writable by its owner; an existing file keeps its owner
// and mode as far as the writer may give them (a file made 0644 beforehand
// stays readable by node_exporter under a private umask). No lock is taken:
// anyone who may read the file could hold one against the writer, and
// readers need none. Another user's symbolic link in a sticky folder that
// others may write is not followed (Permission denied), and the file is
// created and renamed relative to its folder's descriptor (CFileReplacer).
// Returns false, with a one-line reason in strError, when it could
// not write, when the folder does not let it create the temporary file, or
// when metrics.probeSeconds does not hold one duration per target.
bool WriteMetricsTextfile(const std::string& strPath, const CItemList& list,
                          const SPassMetrics& metrics, std::string& strError);
