// SPDX-License-Identifier: Apache-2.0
#include "cli/watch_host.h"

#include "cli/probe_lines.h"
#include "monitor/alert_command.h"
#include "monitor/alert_digest.h"
#include "monitor/alert_text.h"

#include <cstdio>

CWatchHost::CWatchHost(SWatchOptions options, std::unique_ptr<CItemList> pList, int nStopFd)
    : m_strListPath(std::move(options.strListPath)), m_bJson(options.bJson),
      m_pList(std::move(pList)),
      m_pass(std::move(static_cast<SWatchSettings&>(options)), ListPassStoppedBy(nStopFd)) {}

int CWatchHost::SetScheduleTimer(int64_t nDelayMs) {
    m_due = Clock::now() + std::chrono::milliseconds(nDelayMs);
    return m_nTimer = m_nTimer % 1000000 + 1;
}

void CWatchHost::KillScheduleTimer(int nTimer) {
    if (nTimer == m_nTimer)
        m_due.reset();
}

bool CWatchHost::RunPassFindsAlerts() {
    CProbeLinePrinter printer(*m_pList, m_bJson);
    SWatchPassResult result = m_pass.Run(*m_pList, printer);
    m_bStopping = result.bStopped;
    if (!result.strTextfileError.empty())
        PrintLine(stderr, "ostrel-cli: " + VisibleSystemText(result.strTextfileError));
    m_events = std::move(result.events);
    return !m_events.empty();
}

// The popup becomes a line on standard error; a sound needs a desktop
// session and is not played.
void CWatchHost::RaiseAlerts() {
    for (const SWatchEvent& event : m_events)
        RaiseEvent(event);
    m_events.clear();
}

void CWatchHost::RaiseEvent(const SWatchEvent& event) {
    const char* pszName = AlertEventName(event.event);
    if (event.event == EAlertEvent::kFailed)
        PrintLine(stderr, kFailedPassText);
    else if (event.event == EAlertEvent::kLinkDown || event.event == EAlertEvent::kLinkUp)
        PrintLine(stderr, std::string("ostrel-cli: ") + pszName);
    else
        PrintLine(stderr, std::string("ostrel-cli: ") + pszName + ": " +
                              std::to_string(event.words.size()) + " of " +
                              std::to_string(m_pList->GetCount()) + " targets");
    if (m_pList->m_strExecute.empty())
        return;
    if (!StartAlertCommand(m_pList->m_strExecute,
                           AlertEventEnvironment(*m_pList, event.event, event.words)))
        PrintLine(stderr, "ostrel-cli: the alert command could not be started");
}

void CWatchHost::ReloadList() {
    std::unique_ptr<CItemList> pList;
    if (LoadListOrDefaultForCli(m_strListPath, pList) == kExitOk)
        m_pList = std::move(pList);
}
