// SPDX-License-Identifier: Apache-2.0
// CTargetAlertState: which alerts a pass of `watch` raises. It follows each
// target through the passes (failed passes in a row, good passes in a row,
// whether it counts as down) and the monitor's own link (down while every
// canary fails), and tells after each pass which events to raise:
//
// - without an alert threshold (nAlertAfter 0), "failed" after every pass in
//   which a target failed, naming the targets that failed, as the window
//   alerts; a target then counts as down after one failed pass;
// - with one, "down" when targets reach nAlertAfter failed passes in a row
//   and "up" when a down target reaches nRecoverAfter good passes in a row,
//   each naming the targets that changed; "reminder", naming every target
//   down, once nRemindMs have passed since the last "down" or "reminder";
// - "link-down" on the first pass in which every canary failed and
//   "link-up" on the first pass after it in which one answered. A pass with
//   the link down leaves every target's state as it was (no failure is
//   charged, no good pass counted) and raises no other event.
//
// Targets are known by a key (the caller's word for the target); a target
// whose key appears again in the next pass keeps its state, so a list read
// again keeps the states of the targets it still holds. The time is given
// with each pass, so the rules run on any clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

enum class EAlertEvent { kFailed, kDown, kUp, kReminder, kLinkDown, kLinkUp };

// The event's name as the alert command gets it in OSTREL_EVENT.
const char* AlertEventName(EAlertEvent event);

struct SAlertRules {
    int32_t nAlertAfter = 0;   // failed passes in a row before "down"; 0: "failed" each pass
    int32_t nRecoverAfter = 1; // good passes in a row before "up"
    int64_t nRemindMs = 0;     // 0: no reminders
};

struct SRaisedEvent {
    EAlertEvent event;
    std::vector<size_t> rows; // the targets concerned, by row from 0; none for link events
};

class CTargetAlertState {
public:
    explicit CTargetAlertState(SAlertRules rules) : m_rules(rules) {}

    // One finished pass: each target's key and whether it answered, in list
    // order; whether a canary answered (nullopt without canaries); the time
    // in milliseconds. Gives the events to raise, in order.
    std::vector<SRaisedEvent> OnPass(const std::vector<std::string>& keys,
                                     const std::vector<bool>& answered, std::optional<bool> linkUp,
                                     int64_t nNowMs);

    // After OnPass, one per target of that pass in list order: its failed
    // passes in a row, and 1 while it counts as down, else 0.
    std::vector<int32_t> ConsecutiveFailures() const;
    std::vector<int32_t> DownFlags() const;
    bool IsLinkDown() const { return m_bLinkDown; }

private:
    struct STarget {
        int32_t nFailures = 0;
        int32_t nSuccesses = 0;
        bool bDown = false;
    };
    // Moves a target on by its result; the event it raises, if any.
    std::optional<EAlertEvent> Advance(STarget& target, bool bAnswered) const;
    void AddReminder(std::vector<SRaisedEvent>& events, int64_t nNowMs);

    SAlertRules m_rules;
    std::vector<STarget> m_rows;                      // the last pass's, in list order
    std::unordered_map<std::string, STarget> m_byKey; // the same, by key
    bool m_bLinkDown = false;
    int64_t m_nLastNamedDownMs = 0; // the last "down" or "reminder"
};
