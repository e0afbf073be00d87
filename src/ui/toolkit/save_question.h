// SPDX-License-Identifier: Apache-2.0
// The question asked before unsaved changes would be lost: a message box with
// the buttons Save, Discard and Cancel, the application title as caption,
// modal over its owner. Under a CMessageBoxRecorder it is recorded like any
// box and answered with kIdSaveAnswer, kIdDiscardAnswer or kIdCancel.
#pragma once

#include <QWidget>
#include <string>

enum class ESaveAnswer { kSave, kDiscard, kCancel };

inline constexpr int kIdSaveAnswer = 6;    // the platform's "Yes"
inline constexpr int kIdDiscardAnswer = 7; // the platform's "No"

// Shows strText with the exclamation icon; Esc and the close box cancel.
ESaveAnswer AskSaveChanges(QWidget* pOwner, const std::string& strText);
