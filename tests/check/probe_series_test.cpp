// SPDX-License-Identifier: Apache-2.0
// One target's series of probes, without sockets: what its probes' ends add
// up to, the verdict on them, and when each next probe is due.
#include "check/concurrent/probe_series.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace std::chrono_literals;

TEST(ProbeSeries, JudgesWhatItsProbesMeasured) {
    constexpr double kLost = -1;
    const struct {
        const char* pszName;
        std::optional<double> maxLoss, maxRttMs;
        std::vector<double> rtts; // one per probe, in seconds
        int32_t nResult;
        EFailedBy failedBy;
        double dMin, dMax;
    } kCases[] = {
        {"all answered", {}, {}, {0.010, 0.030, 0.020}, 1, EFailedBy::kNone, 0.010, 0.030},
        {"none answered", 0.0, 1.0, {kLost, kLost}, 0, EFailedBy::kNone, 0, 0},
        {"loss above the limit",
         20.0,
         {},
         {0.01, kLost, 0.01, 0.02},
         0,
         EFailedBy::kLoss,
         0.01,
         0.02},
        {"loss at the limit", 25.0, {}, {0.01, kLost, 0.01, 0.02}, 1, EFailedBy::kNone, 0.01, 0.02},
        {"average above the limit", {}, 15.0, {0.010, 0.030}, 0, EFailedBy::kRtt, 0.010, 0.030},
    };
    for (const auto& c : kCases) {
        SMeasureSettings settings;
        settings.nCount = static_cast<int>(c.rtts.size());
        settings.maxLossPercent = c.maxLoss;
        settings.maxRttMs = c.maxRttMs;
        CProbeSeries series;
        series.Begin(settings);
        for (size_t i = 0; i < c.rtts.size(); ++i) {
            const uint16_t nProbe = series.Take();
            series.Started(nProbe, CProbeSeries::Clock::now());
            EXPECT_EQ(series.End(nProbe, c.rtts[i] != kLost, c.rtts[i]), i + 1 == c.rtts.size())
                << c.pszName;
        }
        EXPECT_EQ(series.Judge(), c.nResult) << c.pszName;
        const STargetMeasure measure = series.Measure();
        EXPECT_EQ(measure.nSent, c.rtts.size()) << c.pszName;
        EXPECT_EQ(measure.failedBy, c.failedBy) << c.pszName;
        EXPECT_DOUBLE_EQ(measure.dRttMin, c.dMin) << c.pszName;
        EXPECT_DOUBLE_EQ(measure.dRttMax, c.dMax) << c.pszName;
    }
}

// Echoes go an interval apart from the first one's due time, whenever they
// went; a connect follows the one before an interval after its start, or at
// its end when that is later. A probe runs from its start to its end.
TEST(ProbeSeries, PacesItsProbes) {
    SMeasureSettings settings;
    settings.nCount = 3;
    settings.interval = 100ms;
    const CProbeSeries::Clock::time_point t0{};
    CProbeSeries series;
    series.Begin(settings);
    series.ScheduleFrom(t0);
    const uint16_t nFirst = series.Take();
    EXPECT_FALSE(series.IsRunning(nFirst));
    series.Started(nFirst, t0 + 30ms); // late
    EXPECT_TRUE(series.IsRunning(nFirst));
    EXPECT_EQ(series.NextEchoDue(), t0 + 100ms);
    EXPECT_EQ(series.NextConnectDue(nFirst, t0 + 50ms), t0 + 130ms);
    EXPECT_EQ(series.NextConnectDue(nFirst, t0 + 250ms), t0 + 250ms);
    EXPECT_FALSE(series.End(nFirst, false, 0));
    EXPECT_FALSE(series.IsRunning(nFirst));
    series.Take();
    EXPECT_EQ(series.NextEchoDue(), t0 + 200ms);
    EXPECT_TRUE(series.HasMore());
    series.Take();
    EXPECT_FALSE(series.HasMore());
}
