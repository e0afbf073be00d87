// SPDX-License-Identifier: Apache-2.0
#include "check/pass_engine.h"

#include "check/check_worker.h"
#include "check/concurrent/concurrent_pass.h"
#include "check/status_sink.h"
#include "model/item_list.h"

namespace {
// Passes the sequential pass's reports on, keeping each row's duration for
// the outcome, as the concurrent prober's board does.
class CDurationRecorder : public CStatusSink {
public:
    CDurationRecorder(CStatusSink& sink, std::vector<double>& seconds)
        : m_sink(sink), m_seconds(seconds) {}
    void SetProbeSeconds(int nRow, double dSeconds) override {
        if (nRow >= 0 && static_cast<size_t>(nRow) < m_seconds.size())
            m_seconds[static_cast<size_t>(nRow)] = dSeconds;
        m_sink.SetProbeSeconds(nRow, dSeconds);
    }
    void SetStatusText(int nRow, const char* pszText) override {
        m_sink.SetStatusText(nRow, pszText);
    }

private:
    CStatusSink& m_sink;
    std::vector<double>& m_seconds;
};
} // namespace

SPassOutcome RunListPass(CItemList& list, CStatusSink& sink, int nJobs, int nStopFd,
                         const SMeasureSettings* pMeasure) {
    if (nJobs > 1 || nStopFd >= 0 || pMeasure)
        return RunConcurrentPass(list, sink, nJobs, nStopFd, pMeasure);
    SPassOutcome outcome;
    outcome.probeSeconds.assign(static_cast<size_t>(list.GetCount()), 0.0);
    CDurationRecorder recorder(sink, outcome.probeSeconds);
    outcome.allOk = RunCheckPass(list, recorder);
    return outcome;
}
