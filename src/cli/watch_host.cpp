#include "cli/watch_host.h"

#include "check/pass_engine.h"
#include "cli/probe_lines.h"
#include "monitor/alert_command.h"
#include "monitor/alert_digest.h"
#include "monitor/alert_text.h"
#include "monitor/metrics_textfile.h"

#include <cstdio>
#include <ctime>

CWatchHost::CWatchHost(SWatchOptions options, std::unique_ptr<CItemList> pList, int nStopFd)
    : m_options(std::move(options)), m_pList(std::move(pList)), m_nStopFd(nStopFd) {}

int CWatchHost::SetScheduleTimer(int64_t nDelayMs) {
    m_due = Clock::now() + std::chrono::milliseconds(nDelayMs);
    return m_nTimer = m_nTimer % 1000000 + 1;
}

void CWatchHost::KillScheduleTimer(int nTimer) {
    if (nTimer == m_nTimer)
        m_due.reset();
}

int32_t CWatchHost::RunPass() {
    CProbeLinePrinter printer(*m_pList, m_options.bJson);
    const Clock::time_point start = Clock::now();
    const SMeasureSettings* pMeasure = m_options.measure ? &*m_options.measure : nullptr;
    SPassOutcome outcome = RunListPass(*m_pList, printer, m_options.nJobs, m_nStopFd, pMeasure);
    if (outcome.bStopped) {
        m_bStopping = true;
        return outcome.allOk;
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    if (m_options.textfile)
        WriteTextfile(outcome, elapsed.count());
    return outcome.allOk;
}

// The popup becomes a line on standard error; a sound needs a desktop
// session and is not played.
void CWatchHost::RaiseAlerts() {
    if (m_bStopping)
        return; // the pass did not finish: it found nothing to alert about
    PrintLine(stderr, kFailedPassText);
    if (!m_pList->m_strExecute.empty() &&
        !StartAlertCommand(m_pList->m_strExecute, AlertDigestEnvironment(*m_pList)))
        PrintLine(stderr, "ostrel-cli: the alert command could not be started");
}

void CWatchHost::ReloadList() {
    std::unique_ptr<CItemList> pList;
    if (LoadListOrDefaultForCli(m_options.strListPath, pList) == kExitOk)
        m_pList = std::move(pList);
}

void CWatchHost::WriteTextfile(const SPassOutcome& outcome, double dPassSeconds) {
    SPassMetrics metrics;
    metrics.probeSeconds = outcome.probeSeconds;
    metrics.measures = outcome.measures;
    metrics.dPassSeconds = dPassSeconds;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    metrics.dEndUnixSeconds = static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
    std::string strError;
    if (!WriteMetricsTextfile(*m_options.textfile, *m_pList, metrics, strError))
        PrintLine(stderr, "ostrel-cli: " + VisibleSystemText(strError));
}
