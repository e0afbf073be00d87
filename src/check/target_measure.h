// SPDX-License-Identifier: Apache-2.0
// What a pass that measures gives for each target besides Yes or No: how
// many probes went and came back, their round trips, and whether a
// threshold failed the target; and the settings that ask for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// How a measuring pass probes each target and judges it.
struct SMeasureSettings {
    int nCount = 1;                           // probes per target
    std::chrono::milliseconds interval{1000}; // between one target's probes, start to start
    std::optional<double> maxLossPercent;     // loss above this fails the target
    std::optional<double> maxRttMs;           // average round trip above this fails it
    // An echo's wait for its answer (10 s without), and a connect's limit
    // (without, the stack's own outcome is awaited).
    std::optional<std::chrono::microseconds> timeout;
};

enum class EFailedBy : uint8_t { kNone, kLoss, kRtt };

// One target's probes; 32 bytes, so that many thousands cost little.
struct STargetMeasure {
    uint16_t nSent = 0;
    uint16_t nReceived = 0;
    EFailedBy failedBy = EFailedBy::kNone;
    double dRttMin = 0, dRttSum = 0, dRttMax = 0; // seconds, over the answered probes

    void AddAnswer(double dRtt);
    double RttAverage() const { return nReceived ? dRttSum / nReceived : 0; }
    // Lost share of the probes sent, 0 to 1; 1 when none could be sent.
    double LossRatio() const { return nSent ? double(nSent - nReceived) / nSent : 1.0; }
    double LossPercent() const { return nSent ? (nSent - nReceived) * 100.0 / nSent : 100.0; }
};

// The target's result once its probes have ended: 1 when some probe was
// answered and no threshold of `settings` is passed, else 0. A threshold
// that fails it is noted in `measure.failedBy`; a target that answered none
// fails without one.
int32_t JudgeTarget(STargetMeasure& measure, const SMeasureSettings& settings);
