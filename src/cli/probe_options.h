// SPDX-License-Identifier: Apache-2.0
// The options `check` and `watch` share: --jobs, and --count, --interval,
// --max-loss, --max-rtt and --timeout for measuring each target.
#pragma once

#include "check/target_measure.h"
#include "framework/command_line.h"

#include <optional>

extern const SCommandOption kProbeOptions[6];

// The lines of help after the options.
#define OSTREL_MEASURE_NOTE                                                                        \
    "  Any of --count, --interval, --max-loss, --max-rtt and --timeout measures\n"                 \
    "  every target: always with the concurrent prober, a target answers when at\n"                \
    "  least one probe did and no threshold is passed, and the lines add the round\n"              \
    "  trips, the probes sent and answered, and the loss.\n"

// What the options ask to measure; nullopt when none of the five is given.
std::optional<SMeasureSettings> MeasureSettings(const CCommandLine& args);
