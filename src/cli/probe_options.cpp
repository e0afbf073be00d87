// SPDX-License-Identifier: Apache-2.0
#include "cli/probe_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {
// A decimal number from `dMin` to `dMax`, the whole text; prints why not.
std::optional<double> ReadDecimal(const std::string& name, const std::string& text, double dMin,
                                  double dMax) {
    char* pEnd = nullptr;
    errno = 0;
    const double dValue = text.empty() ? NAN : std::strtod(text.c_str(), &pEnd);
    if (!std::isfinite(dValue) || errno != 0 || *pEnd != '\0' || dValue < dMin || dValue > dMax) {
        char range[96];
        std::snprintf(range, sizeof range, " expects a number from %g to %g", dMin, dMax);
        InputError("ostrel-cli: " + name + range);
        return std::nullopt;
    }
    return dValue;
}
} // namespace

bool ReadMeasureOptions(const CCliArgs& parsed, std::optional<SMeasureSettings>& settings) {
    SMeasureSettings read;
    bool bGiven = false;
    if (auto text = parsed.Value("--count")) {
        auto nCount = ReadIntegerOption(*text, std::make_pair(1, 1000));
        if (!nCount)
            return false;
        read.nCount = *nCount;
        bGiven = true;
    }
    if (auto text = parsed.Value("--interval")) {
        auto nMs = ReadIntegerOption(*text, std::make_pair(0, 3600000));
        if (!nMs)
            return false;
        read.interval = std::chrono::milliseconds(*nMs);
        bGiven = true;
    }
    if (auto text = parsed.Value("--max-loss")) {
        if (!(read.maxLossPercent = ReadDecimal("--max-loss", *text, 0, 100)))
            return false;
        bGiven = true;
    }
    if (auto text = parsed.Value("--max-rtt")) {
        if (!(read.maxRttMs = ReadDecimal("--max-rtt", *text, 0, 3600000)))
            return false;
        bGiven = true;
    }
    if (auto text = parsed.Value("--timeout")) {
        std::optional<double> dSeconds = ReadDecimal("--timeout", *text, 0.001, 3600);
        if (!dSeconds)
            return false;
        read.timeout = std::chrono::microseconds(std::llround(*dSeconds * 1e6));
        bGiven = true;
    }
    if (bGiven)
        settings = read;
    return true;
}
