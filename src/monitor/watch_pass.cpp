// SPDX-License-Identifier: Apache-2.0
#include "monitor/watch_pass.h"

#include "check/pass_engine.h"
#include "monitor/alert_digest.h"
#include "monitor/metrics_textfile.h"

#include <chrono>
#include <ctime>

namespace {
using Clock = std::chrono::steady_clock;

// The canaries' pass shows nothing.
class CSilentSink : public CStatusSink {
public:
    void ShowResult(int, const SRowResult&) override {}
};

// Keeps each row's duration and measure for the textfile on their way to
// the display.
class CMetricsRecorder : public CStatusSink {
public:
    CMetricsRecorder(CStatusSink& display, SPassMetrics& metrics)
        : m_display(display), m_metrics(metrics) {}
    void ShowResult(int nRow, const SRowResult& result) override {
        const auto nAt = static_cast<size_t>(nRow);
        if (nAt < m_metrics.probeSeconds.size())
            m_metrics.probeSeconds[nAt] = result.dSeconds;
        if (result.measure && nAt < m_metrics.measures.size())
            m_metrics.measures[nAt] = *result.measure;
        m_display.ShowResult(nRow, result);
    }

private:
    CStatusSink& m_display;
    SPassMetrics& m_metrics;
};

std::vector<std::string> WordsOf(const CItemList& list) {
    std::vector<std::string> words;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        words.push_back(AlertTargetWord(*list.GetNext(pos)));
    return words;
}

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}
} // namespace

FListPass ListPassStoppedBy(int nStopFd) {
    return
        [nStopFd](CItemList& list, CStatusSink& sink, int nJobs, const SMeasureSettings* pMeasure) {
            return RunListPass(list, sink, nJobs, nStopFd, pMeasure);
        };
}

CWatchPass::CWatchPass(SWatchSettings settings, FListPass fnListPass)
    : m_settings(std::move(settings)), m_fnListPass(std::move(fnListPass)),
      m_alertState(m_settings.alertRules) {
    if (m_settings.pCanaries)
        m_canaryWords = WordsOf(*m_settings.pCanaries);
}

SWatchPassResult CWatchPass::Run(CItemList& list, CStatusSink& display) {
    SWatchPassResult result;
    const Clock::time_point start = Clock::now();
    const std::optional<bool> linkUp = ProbeCanaries(result.bStopped);
    if (result.bStopped)
        return result;

    SPassMetrics metrics;
    metrics.probeSeconds.assign(list.GetCount(), 0.0);
    if (m_settings.measure)
        metrics.measures.assign(list.GetCount(), {});
    CMetricsRecorder recorder(display, metrics);
    const SMeasureSettings* pMeasure = m_settings.measure ? &*m_settings.measure : nullptr;
    result.bStopped = m_fnListPass(list, recorder, m_settings.nJobs, pMeasure).bStopped;
    if (result.bStopped)
        return result;
    metrics.dPassSeconds = std::chrono::duration<double>(Clock::now() - start).count();

    // The words the alert state knows the targets by are the ones the events name.
    const std::vector<std::string> words = WordsOf(list);
    std::vector<bool> answered;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        answered.push_back(list.GetNext(pos)->m_bOk != 0);
    const std::vector<SRaisedEvent> raised =
        m_alertState.OnPass(words, answered, linkUp, SteadyMilliseconds());

    if (m_settings.textfile)
        result.strTextfileError = WriteTextfile(list, metrics, linkUp);

    for (const SRaisedEvent& event : raised) {
        const bool bLink =
            event.event == EAlertEvent::kLinkDown || event.event == EAlertEvent::kLinkUp;
        SWatchEvent& out = result.events.emplace_back(SWatchEvent{event.event, {}});
        if (bLink)
            out.words = m_canaryWords;
        for (size_t nRow : event.rows)
            out.words.push_back(words[nRow]);
    }
    return result;
}

std::optional<bool> CWatchPass::ProbeCanaries(bool& bStopped) {
    CItemList* pCanaries = m_settings.pCanaries.get();
    if (!pCanaries || pCanaries->GetCount() == 0)
        return std::nullopt;
    CSilentSink sink;
    const int nJobs = static_cast<int>(pCanaries->GetCount());
    bStopped = m_fnListPass(*pCanaries, sink, nJobs, nullptr).bStopped;
    for (POSITION pos = pCanaries->GetHeadPosition(); pos;)
        if (pCanaries->GetNext(pos)->m_bOk != 0)
            return true;
    return false;
}

std::string CWatchPass::WriteTextfile(const CItemList& list, SPassMetrics& metrics,
                                      std::optional<bool> linkUp) const {
    metrics.consecutiveFailures = m_alertState.ConsecutiveFailures();
    metrics.down = m_alertState.DownFlags();
    metrics.linkUp = linkUp;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    metrics.dEndUnixSeconds = static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
    std::string strError;
    WriteMetricsTextfile(*m_settings.textfile, list, metrics, strError);
    return strError;
}
