// SPDX-License-Identifier: Apache-2.0
// Message boxes: text, an icon and one OK button, with the application title as
// caption, modal over their owner. CMessageBoxRecorder is the seam that lets
// tests see every box instead of a person.
#pragma once

#include "ui/toolkit/scoped_hook.h"

#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

enum class EMsgIcon { kNone, kStop, kExclamation, kInformation, kQuestion };

inline constexpr int kIdOkAnswer = 1;

// Shows `strText` modally over `pOwner` (or over nothing) and returns the
// button chosen (kIdOkAnswer). A box naming no icon gets the exclamation icon.
// With bBeep the system sound of the icon's type is played first.
int ShowMessageBox(QWidget* pOwner, const std::string& strText, EMsgIcon icon = EMsgIcon::kNone,
                   bool bBeep = false);

// The system sound for a message of type `icon`.
void MessageBeep(EMsgIcon icon);

// While one exists, message boxes are recorded here instead of being shown,
// and beeps are counted instead of being played.
class CMessageBoxRecorder : public CScopedHook<CMessageBoxRecorder> {
public:
    struct CBox {
        std::string strText;
        std::string strCaption;
        EMsgIcon icon;
        QWidget* pOwner;
    };

    // The answer of the next box; kIdOkAnswer when none is queued.
    void SetNextAnswer(int nAnswer) { m_answers.push_back(nAnswer); }
    // Called with each box as it would be shown, e.g. to look at the windows.
    void OnBox(std::function<void(const CBox&)> fn) { m_onBox = std::move(fn); }

    int Record(CBox box);

    std::vector<CBox> m_boxes;
    int m_nBeeps = 0;

private:
    std::deque<int> m_answers;
    std::function<void(const CBox&)> m_onBox;
};
