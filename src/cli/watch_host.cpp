// SPDX-License-Identifier: Apache-2.0
#include "cli/watch_host.h"

#include "check/pass_engine.h"
#include "cli/probe_lines.h"
#include "monitor/alert_command.h"
#include "monitor/alert_digest.h"
#include "monitor/alert_text.h"
#include "monitor/metrics_textfile.h"

#include <cstdio>
#include <ctime>

namespace {
// The canaries' pass shows nothing.
class CSilentSink : public CStatusSink {
public:
    void SetStatusText(int, const char*) override {}
};

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               CWatchHost::Clock::now().time_since_epoch())
        .count();
}

// The words of the targets of `list` at `rows`, for the digest.
std::vector<std::string> WordsOf(const CItemList& list, const std::vector<size_t>& rows) {
    std::vector<std::string> words;
    size_t nRow = 0, nNext = 0;
    for (POSITION pos = list.GetHeadPosition(); pos && nNext < rows.size(); ++nRow) {
        const CItem& item = *list.GetNext(pos);
        if (rows[nNext] == nRow) {
            words.push_back(AlertTargetWord(item));
            ++nNext;
        }
    }
    return words;
}

std::vector<size_t> AllRows(const CItemList& list) {
    std::vector<size_t> rows(list.GetCount());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;
    return rows;
}
} // namespace

CWatchHost::CWatchHost(SWatchOptions options, std::unique_ptr<CItemList> pList, int nStopFd)
    : m_options(std::move(options)), m_pList(std::move(pList)), m_nStopFd(nStopFd),
      m_alertState(m_options.alertRules) {}

int CWatchHost::SetScheduleTimer(int64_t nDelayMs) {
    m_due = Clock::now() + std::chrono::milliseconds(nDelayMs);
    return m_nTimer = m_nTimer % 1000000 + 1;
}

void CWatchHost::KillScheduleTimer(int nTimer) {
    if (nTimer == m_nTimer)
        m_due.reset();
}

int32_t CWatchHost::RunPass() {
    m_events.clear();
    const Clock::time_point start = Clock::now();
    const std::optional<bool> linkUp = ProbeCanaries();
    CProbeLinePrinter printer(*m_pList, m_options.bJson);
    const SMeasureSettings* pMeasure = m_options.measure ? &*m_options.measure : nullptr;
    SPassOutcome outcome;
    if (!m_bStopping)
        outcome = RunListPass(*m_pList, printer, m_options.nJobs, m_nStopFd, pMeasure);
    if (m_bStopping || outcome.bStopped) {
        m_bStopping = true;
        return 1; // the pass did not finish: it found nothing to alert about
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    FollowAlertState(linkUp);
    if (m_options.textfile)
        WriteTextfile(outcome, elapsed.count(), linkUp);
    return m_events.empty() ? 1 : 0;
}

std::optional<bool> CWatchHost::ProbeCanaries() {
    CItemList* pCanaries = m_options.pCanaries.get();
    if (!pCanaries || pCanaries->GetCount() == 0)
        return std::nullopt;
    CSilentSink sink;
    const int nJobs = static_cast<int>(pCanaries->GetCount());
    const SPassOutcome outcome = RunListPass(*pCanaries, sink, nJobs, m_nStopFd);
    m_bStopping = outcome.bStopped;
    for (POSITION pos = pCanaries->GetHeadPosition(); pos;)
        if (pCanaries->GetNext(pos)->m_bOk != 0)
            return true;
    return false;
}

void CWatchHost::FollowAlertState(std::optional<bool> linkUp) {
    std::vector<std::string> keys;
    std::vector<bool> answered;
    for (POSITION pos = m_pList->GetHeadPosition(); pos;) {
        const CItem& item = *m_pList->GetNext(pos);
        keys.push_back(AlertTargetWord(item));
        answered.push_back(item.m_bOk != 0);
    }
    m_events = m_alertState.OnPass(keys, answered, linkUp, SteadyMilliseconds());
}

// The popup becomes a line on standard error; a sound needs a desktop
// session and is not played.
void CWatchHost::RaiseAlerts() {
    for (const SRaisedEvent& event : m_events)
        RaiseEvent(event);
    m_events.clear();
}

void CWatchHost::RaiseEvent(const SRaisedEvent& event) {
    const bool bLink = event.event == EAlertEvent::kLinkDown || event.event == EAlertEvent::kLinkUp;
    if (event.event == EAlertEvent::kFailed)
        PrintLine(stderr, kFailedPassText);
    else if (bLink)
        PrintLine(stderr, std::string("ostrel-cli: ") + AlertEventName(event.event));
    else
        PrintLine(stderr, std::string("ostrel-cli: ") + AlertEventName(event.event) + ": " +
                              std::to_string(event.rows.size()) + " of " +
                              std::to_string(m_pList->GetCount()) + " targets");
    if (m_pList->m_strExecute.empty())
        return;
    const std::vector<std::string> concerned =
        bLink ? WordsOf(*m_options.pCanaries, AllRows(*m_options.pCanaries))
              : WordsOf(*m_pList, event.rows);
    if (!StartAlertCommand(m_pList->m_strExecute,
                           AlertEventEnvironment(*m_pList, AlertEventName(event.event), concerned)))
        PrintLine(stderr, "ostrel-cli: the alert command could not be started");
}

void CWatchHost::ReloadList() {
    std::unique_ptr<CItemList> pList;
    if (LoadListOrDefaultForCli(m_options.strListPath, pList) == kExitOk)
        m_pList = std::move(pList);
}

void CWatchHost::WriteTextfile(const SPassOutcome& outcome, double dPassSeconds,
                               std::optional<bool> linkUp) {
    SPassMetrics metrics;
    metrics.probeSeconds = outcome.probeSeconds;
    metrics.measures = outcome.measures;
    metrics.dPassSeconds = dPassSeconds;
    for (size_t nRow = 0; nRow < m_pList->GetCount(); ++nRow) {
        metrics.consecutiveFailures.push_back(m_alertState.ConsecutiveFailures(nRow));
        metrics.down.push_back(m_alertState.IsDown(nRow) ? 1 : 0);
    }
    metrics.linkUp = linkUp;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    metrics.dEndUnixSeconds = static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
    std::string strError;
    if (!WriteMetricsTextfile(*m_options.textfile, *m_pList, metrics, strError))
        PrintLine(stderr, "ostrel-cli: " + VisibleSystemText(strError));
}
