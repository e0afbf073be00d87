// SPDX-License-Identifier: Apache-2.0
#include "cli/probe_options.h"

#include <algorithm>
#include <iterator>

const SCommandOption kProbeOptions[6] = {
    IntegerOption("--jobs", "N",
                  "keep up to N probes in flight at once; each probe and the output are the "
                  "same as one after the other",
                  1, 65536, 1),
    IntegerOption("--count", "N", "probe each target N times", 1, 1000, SMeasureSettings{}.nCount),
    IntegerOption("--interval", "MS",
                  "between one target's probes, start to start; echoes do not wait for the "
                  "previous answer, connects do",
                  0, 3600000, SMeasureSettings{}.interval.count()),
    DecimalOption("--max-loss", "PCT",
                  "a target that lost more than PCT percent of its probes has failed", 0, 100),
    DecimalOption("--max-rtt", "MS", "a target whose average round trip is above MS has failed", 0,
                  3600000),
    DecimalOption("--timeout", "SECONDS",
                  "how long an echo waits for its answer (default 10) and a connect for its "
                  "outcome (default: the stack's); fractions allowed",
                  0.001, 3600),
};

std::optional<SMeasureSettings> MeasureSettings(const CCommandLine& args) {
    if (std::none_of(std::begin(kProbeOptions) + 1, std::end(kProbeOptions),
                     [&](const SCommandOption& option) { return args.Has(option.pszName); }))
        return std::nullopt;
    SMeasureSettings settings;
    settings.nCount = *args.Integer("--count");
    settings.interval = std::chrono::milliseconds(*args.Integer("--interval"));
    settings.maxLossPercent = args.Number("--max-loss");
    settings.maxRttMs = args.Number("--max-rtt");
    if (std::optional<double> dSeconds = args.Number("--timeout"))
        settings.timeout = std::chrono::microseconds(std::llround(*dSeconds * 1e6));
    return settings;
}
