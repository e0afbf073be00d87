// SPDX-License-Identifier: Apache-2.0
// The question asked before the window acts on a loaded list's command and
// log file: a list file may come from anyone, and these two settings run a
// command and append to a file of the user's.
#pragma once

#include <QWidget>
#include <string>

class CItemList;
struct SListActions;

// The answer that allows the list's settings, as the box's recorder gives it
// (the "Yes" of a two-button box); any other answer declines.
inline constexpr int kIdAllowListActions = 6;

// The box's text for the list file at `strListPath` and what it would do.
std::string ListTrustText(const std::string& strListPath, const SListActions& actions);

// Just after `list` was read from `strListPath`: when it names a command or a
// log file that this user has not allowed for this file before, asks over
// `pOwner` whether to allow them. Allowed, the approval is remembered;
// declined, the settings stay in the list but are held for this session.
void TrustLoadedList(QWidget* pOwner, const std::string& strListPath, CItemList& list);

// After `list` was saved to `strListPath`: what it saved, unless held, counts
// as allowed for that file.
void TrustSavedList(const std::string& strListPath, const CItemList& list);
