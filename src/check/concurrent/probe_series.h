// SPDX-License-Identifier: Apache-2.0
// CProbeSeries: the probes one target gets in a concurrent pass, as the
// pass's settings ask for them: how many, an interval apart, which goes
// next, when each went and which have ended, what the answered ones
// measured, and, once the last has ended, the target's result. It sends
// nothing and holds no socket: the probe loop sends and tells it.
#pragma once

#include "check/target_measure.h"

#include <chrono>
#include <cstdint>
#include <vector>

class CProbeSeries {
public:
    using Clock = std::chrono::steady_clock;

    // Begins the series of a new target under `settings` (kept by
    // reference): none of its settings.nCount probes taken yet.
    void Begin(const SMeasureSettings& settings);
    // The first probe is due at `at`; each later echo an interval after the
    // one before was due.
    void ScheduleFrom(Clock::time_point at) { m_nextDue = at; }

    uint16_t Taken() const { return m_nTaken; }
    bool HasMore() const { return m_nTaken < m_pSettings->nCount; }
    // Takes the next probe and gives its number; it runs once Started.
    uint16_t Take() { return m_nTaken++; }
    // When the echo after the one just taken is due: an interval after that
    // one was due, start to start, so that a late wake-up does not push the
    // rest back.
    Clock::time_point NextEchoDue();
    // When the connect after probe `nProbe`, which ended `now`, is due: an
    // interval after its start, or now when that has passed.
    Clock::time_point NextConnectDue(uint16_t nProbe, Clock::time_point now) const;

    // Probe `nProbe` went at `at` on the loop's clock and at `nRealNs` (in
    // nanoseconds) on the clock of the kernel's receive stamps.
    void Started(uint16_t nProbe, Clock::time_point at, int64_t nRealNs = 0);
    // Whether probe `nProbe` has gone and not ended.
    bool IsRunning(uint16_t nProbe) const;
    Clock::time_point StartedAt(uint16_t nProbe) const;
    int64_t RealStartNs(uint16_t nProbe) const { return m_probes[nProbe].nRealNs; }

    // Ends probe `nProbe`, answered after `dRtt` seconds or not; true when
    // it was the last of the series.
    bool End(uint16_t nProbe, bool bAnswered, double dRtt);

    // The target's result once its probes have ended: 1 when some probe was
    // answered and no threshold of the settings is passed (JudgeTarget),
    // which then shows in Measure().failedBy.
    int32_t Judge();
    // What the probes measured: those taken, those answered, their round
    // trips, and the threshold Judge found passed.
    STargetMeasure Measure() const;

private:
    // When one probe went, in nanoseconds; the first is -1 until it goes and
    // once it has ended. 16 bytes per probe of each target in flight.
    struct SProbeTime {
        int64_t nStartNs = -1;
        int64_t nRealNs = 0;
    };

    const SMeasureSettings* m_pSettings = nullptr;
    uint16_t m_nTaken = 0;
    uint16_t m_nEnded = 0;
    Clock::time_point m_nextDue;
    STargetMeasure m_measure;
    std::vector<SProbeTime> m_probes;
};
