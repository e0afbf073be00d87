// SPDX-License-Identifier: Apache-2.0
#include "check/target_measure.h"

#include <algorithm>

void STargetMeasure::AddAnswer(double dRtt) {
    dRttMin = nReceived ? std::min(dRttMin, dRtt) : dRtt;
    dRttMax = nReceived ? std::max(dRttMax, dRtt) : dRtt;
    dRttSum += dRtt;
    ++nReceived;
}

int32_t JudgeTarget(STargetMeasure& measure, const SMeasureSettings& settings) {
    measure.failedBy = EFailedBy::kNone;
    if (measure.nReceived == 0)
        return 0;
    if (settings.maxLossPercent && measure.LossPercent() > *settings.maxLossPercent)
        measure.failedBy = EFailedBy::kLoss;
    else if (settings.maxRttMs && measure.RttAverage() * 1000.0 > *settings.maxRttMs)
        measure.failedBy = EFailedBy::kRtt;
    return measure.failedBy == EFailedBy::kNone ? 1 : 0;
}
