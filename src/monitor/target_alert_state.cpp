// SPDX-License-Identifier: Apache-2.0
#include "monitor/target_alert_state.h"

#include <algorithm>

const char* AlertEventName(EAlertEvent event) {
    switch (event) {
    case EAlertEvent::kFailed:
        return "failed";
    case EAlertEvent::kDown:
        return "down";
    case EAlertEvent::kUp:
        return "up";
    case EAlertEvent::kReminder:
        return "reminder";
    case EAlertEvent::kLinkDown:
        return "link-down";
    case EAlertEvent::kLinkUp:
        return "link-up";
    }
    return "";
}

std::optional<EAlertEvent> CTargetAlertState::Advance(STarget& target, bool bAnswered) const {
    if (m_bLinkDown)
        return std::nullopt; // the pass tells nothing about the targets
    if (bAnswered) {
        target.nFailures = 0;
        ++target.nSuccesses;
        if (target.bDown && target.nSuccesses >= m_rules.nRecoverAfter) {
            target.bDown = false;
            return EAlertEvent::kUp;
        }
        return std::nullopt;
    }
    target.nSuccesses = 0;
    ++target.nFailures;
    if (!target.bDown && target.nFailures >= std::max(m_rules.nAlertAfter, 1)) {
        target.bDown = true;
        return EAlertEvent::kDown;
    }
    return std::nullopt;
}

std::vector<SRaisedEvent> CTargetAlertState::OnPass(const std::vector<std::string>& keys,
                                                    const std::vector<bool>& answered,
                                                    std::optional<bool> linkUp, int64_t nNowMs) {
    std::vector<SRaisedEvent> events;
    const bool bWasLinkDown = m_bLinkDown;
    m_bLinkDown = linkUp.has_value() && !*linkUp;
    if (bWasLinkDown && !m_bLinkDown)
        events.push_back({EAlertEvent::kLinkUp, {}});
    if (!bWasLinkDown && m_bLinkDown)
        events.push_back({EAlertEvent::kLinkDown, {}});

    SRaisedEvent failed{EAlertEvent::kFailed, {}}, down{EAlertEvent::kDown, {}},
        up{EAlertEvent::kUp, {}};
    std::unordered_map<std::string, STarget> byKey;
    std::unordered_map<std::string, int> seen; // a key listed twice is two targets
    m_rows.assign(keys.size(), STarget{});
    for (size_t nRow = 0; nRow < keys.size(); ++nRow) {
        const int nSeen = seen[keys[nRow]]++;
        const std::string key = nSeen ? keys[nRow] + '\n' + std::to_string(nSeen) : keys[nRow];
        if (auto it = m_byKey.find(key); it != m_byKey.end())
            m_rows[nRow] = it->second;
        const bool bAnswered = nRow < answered.size() && answered[nRow];
        const std::optional<EAlertEvent> change = Advance(m_rows[nRow], bAnswered);
        if (!bAnswered && !m_bLinkDown)
            failed.rows.push_back(nRow);
        if (change == EAlertEvent::kDown)
            down.rows.push_back(nRow);
        else if (change == EAlertEvent::kUp)
            up.rows.push_back(nRow);
        byKey.emplace(key, m_rows[nRow]);
    }
    m_byKey = std::move(byKey);

    if (m_rules.nAlertAfter == 0) {
        if (!failed.rows.empty())
            events.push_back(std::move(failed));
        return events;
    }
    if (!down.rows.empty()) {
        events.push_back(std::move(down));
        m_nLastNamedDownMs = nNowMs;
    }
    if (!up.rows.empty())
        events.push_back(std::move(up));
    AddReminder(events, nNowMs);
    return events;
}

std::vector<int32_t> CTargetAlertState::ConsecutiveFailures() const {
    std::vector<int32_t> failures;
    for (const STarget& target : m_rows)
        failures.push_back(target.nFailures);
    return failures;
}

std::vector<int32_t> CTargetAlertState::DownFlags() const {
    std::vector<int32_t> down;
    for (const STarget& target : m_rows)
        down.push_back(target.bDown ? 1 : 0);
    return down;
}

void CTargetAlertState::AddReminder(std::vector<SRaisedEvent>& events, int64_t nNowMs) {
    if (m_rules.nRemindMs <= 0 || m_bLinkDown || nNowMs - m_nLastNamedDownMs < m_rules.nRemindMs)
        return;
    SRaisedEvent reminder{EAlertEvent::kReminder, {}};
    for (size_t nRow = 0; nRow < m_rows.size(); ++nRow)
        if (m_rows[nRow].bDown)
            reminder.rows.push_back(nRow);
    if (reminder.rows.empty())
        return;
    events.push_back(std::move(reminder));
    m_nLastNamedDownMs = nNowMs;
}
