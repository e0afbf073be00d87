// SPDX-License-Identifier: Apache-2.0
// CTargetAlertState: the events raised over sequences of passes, one second
// apart. A pass is written "a1 b0": target a answered, b did not; a leading
// "!" means every canary failed, a leading "+" that one answered.
#include "monitor/target_alert_state.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {
struct SCase {
    const char* what;
    SAlertRules rules;
    std::vector<const char*> passes;
    const char* expected; // each pass's events, "-" for none, passes joined by "; "
};

std::string EventsOf(const SCase& c) {
    CTargetAlertState state(c.rules);
    std::string out;
    int64_t nNowMs = 0;
    for (const char* pszPass : c.passes) {
        std::istringstream in(pszPass);
        std::optional<bool> linkUp;
        std::vector<std::string> keys;
        std::vector<bool> answered;
        for (std::string word; in >> word;) {
            if (word == "!" || word == "+")
                linkUp = word == "+";
            else
                keys.push_back(word.substr(0, word.size() - 1)),
                    answered.push_back(word.back() == '1');
        }
        std::string text;
        for (const SRaisedEvent& e : state.OnPass(keys, answered, linkUp, nNowMs)) {
            text += (text.empty() ? "" : " ") + std::string(AlertEventName(e.event));
            for (size_t i = 0; i < e.rows.size(); ++i)
                text += (i ? "," : "[") + std::to_string(e.rows[i]) +
                        (i + 1 == e.rows.size() ? "]" : "");
        }
        out += (out.empty() ? "" : "; ") + (text.empty() ? "-" : text);
        nNowMs += 1000;
    }
    return out;
}

const SCase kCases[] = {
    {"every failed pass alerts without a threshold",
     {},
     {"a1 b0", "a1 b1", "a0 b0"},
     "failed[1]; -; failed[0,1]"},
    {"two of three failing raise nothing; three in a row one down; the return one up",
     {3, 1, 0},
     {"a0", "a0", "a1", "a0", "a0", "a0", "a0", "a1", "a1"},
     "-; -; -; -; -; down[0]; -; up[0]; -"},
    {"up waits for the good passes in a row",
     {1, 2, 0},
     {"a0", "a1", "a0", "a1", "a1"},
     "down[0]; -; -; -; up[0]"},
    {"reminders while down, naming every target down",
     {1, 1, 2000},
     {"a0 b1", "a0 b0", "a0 b0", "a0 b0", "a1 b0", "a1 b0", "a1 b1", "a1 b1", "a1 b1"},
     "down[0]; down[1]; -; reminder[0,1]; up[0]; reminder[1]; up[1]; -; -"},
    {"a reminder counts from the last down or reminder",
     {1, 1, 2500},
     {"a0", "a0", "a0", "a0", "a0", "a0", "a0"},
     "down[0]; -; -; reminder[0]; -; -; reminder[0]"},
    {"link-down passes charge nobody and raise one link-down, then one link-up",
     {2, 1, 0},
     {"+ a0 b1", "! a0 b0", "! a1 b0", "+ a0 b0", "+ a1 b1"},
     "-; link-down; -; link-up down[0]; up[0]"},
    {"without a threshold the link-down pass raises no failed",
     {},
     {"! a0", "! a0", "+ a0"},
     "link-down; -; link-up failed[0]"},
    {"no reminder while the link is down",
     {1, 1, 1500},
     {"+ a0", "! a0", "! a0", "+ a0"},
     "down[0]; link-down; -; link-up reminder[0]"},
    {"a target keeps its state when the list is read again in another order",
     {2, 1, 0},
     {"a0 b1", "b1 a0", "c0 a1"},
     "-; down[1]; up[1]"},
    {"the same target listed twice is two targets",
     {1, 1, 0},
     {"a0 a1", "a1 a0"},
     "down[0]; down[1] up[0]"},
};
} // namespace

TEST(TargetAlertState, RaisesTheEventsOfEachSequence) {
    for (const SCase& c : kCases)
        EXPECT_EQ(EventsOf(c), c.expected) << c.what;
}
