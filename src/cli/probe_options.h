// SPDX-License-Identifier: Apache-2.0
// The options `check` and `watch` share for measuring each target: --count,
// --interval, --max-loss, --max-rtt and --timeout, with their help text.
#pragma once

#include "check/target_measure.h"
#include "cli/cli_support.h"

#include <optional>

// The valued options' names, for StartCommand beside the command's own.
#define OSTREL_MEASURE_OPTIONS "--count", "--interval", "--max-loss", "--max-rtt", "--timeout"

// The options' lines of --help, shared by both commands.
#define OSTREL_MEASURE_HELP                                                                        \
    "  --count N        probe each target N times (1 to 1000; default 1)\n"                        \
    "  --interval MS    between one target's probes, start to start (0 to 3600000;\n"              \
    "                   default 1000); echoes do not wait for the previous answer,\n"              \
    "                   connects do\n"                                                             \
    "  --max-loss PCT   a target that lost more than PCT percent of its probes has\n"              \
    "                   failed\n"                                                                  \
    "  --max-rtt MS     a target whose average round trip is above MS has failed\n"                \
    "  --timeout SECONDS  how long an echo waits for its answer (default 10) and a\n"              \
    "                   connect for its outcome (default: the stack's); fractions allowed\n"       \
    "                   (0.001 to 3600)\n"                                                         \
    "  Any of these five measures every target: always with the concurrent prober,\n"              \
    "  a target answers when at least one probe did and no threshold is passed, and\n"             \
    "  the lines add the round trips, the probes sent and answered, and the loss.\n"

// Reads the options from `parsed`: `settings` stays empty when none was
// given. Prints the reason and returns false for a value out of range.
bool ReadMeasureOptions(const CCliArgs& parsed, std::optional<SMeasureSettings>& settings);
