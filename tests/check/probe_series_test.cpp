// SPDX-License-Identifier: Apache-2.0
// One target's series of probes, without sockets: what their ends add up
// to, the verdict, and when each next probe is due.
#include "check/concurrent/probe_series.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace std::chrono_literals;

TEST(ProbeSeries, JudgesWhatItsProbesMeasured) {
    const struct {
        std::optional<double> maxLoss, maxRttMs;
        std::vector<double> rtts; // seconds per probe, -1 for lost
        int32_t nResult;
        EFailedBy failedBy;
    } kCases[] = {{{}, {}, {0.01, 0.03, 0.02}, 1, EFailedBy::kNone},
                  {0.0, 1.0, {-1, -1}, 0, EFailedBy::kNone},
                  {20.0, {}, {0.01, -1, 0.01, 0.02}, 0, EFailedBy::kLoss},
                  {25.0, {}, {0.01, -1, 0.01, 0.02}, 1, EFailedBy::kNone},
                  {{}, 15.0, {0.01, 0.03}, 0, EFailedBy::kRtt}};
    for (const auto& c : kCases) {
        const SMeasureSettings settings{
            static_cast<int>(c.rtts.size()), 1s, c.maxLoss, c.maxRttMs, {}};
        CProbeSeries series;
        series.Begin(settings);
        for (size_t i = 0; i < c.rtts.size(); ++i) {
            const uint16_t nProbe = series.Take();
            series.Started(nProbe, CProbeSeries::Clock::now());
            EXPECT_EQ(series.End(nProbe, c.rtts[i] >= 0, c.rtts[i]), i + 1 == c.rtts.size());
        }
        EXPECT_EQ(series.Judge(), c.nResult) << c.rtts.size();
        EXPECT_EQ(series.Measure().failedBy, c.failedBy) << c.rtts.size();
        EXPECT_EQ(series.Measure().nSent, c.rtts.size());
    }
}

// Echoes go an interval apart from the first one's due time, however late
// each went; a connect follows an interval after the start of the one
// before, or at its end when that is later.
TEST(ProbeSeries, PacesItsProbes) {
    const SMeasureSettings settings{3, 100ms, {}, {}, {}};
    const CProbeSeries::Clock::time_point t0{};
    CProbeSeries series;
    series.Begin(settings);
    series.ScheduleFrom(t0);
    const uint16_t nFirst = series.Take();
    EXPECT_FALSE(series.IsRunning(nFirst));
    series.Started(nFirst, t0 + 30ms);
    EXPECT_TRUE(series.IsRunning(nFirst));
    EXPECT_EQ(series.NextEchoDue(), t0 + 100ms);
    EXPECT_EQ(series.NextConnectDue(nFirst, t0 + 50ms), t0 + 130ms);
    EXPECT_EQ(series.NextConnectDue(nFirst, t0 + 250ms), t0 + 250ms);
    series.End(nFirst, false, 0);
    EXPECT_FALSE(series.IsRunning(nFirst));
    series.Take();
    EXPECT_EQ(series.NextEchoDue(), t0 + 200ms);
}
