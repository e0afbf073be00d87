// SPDX-License-Identifier: Apache-2.0
// The sound alert: a .wav file played in the background, never waited for.
#pragma once

#include <memory>
#include <string>
#include <vector>

class QSoundEffect;

class CAlertSound {
public:
    CAlertSound();
    ~CAlertSound();
    CAlertSound(const CAlertSound&) = delete;
    CAlertSound& operator=(const CAlertSound&) = delete;

    // Starts playing strPath and returns at once; a file that is missing,
    // is no regular file (a pipe, a device) or cannot be played stays
    // silent, with nothing reported.
    void Play(const std::string& strPath);
    // Every path Play was given, in order.
    const std::vector<std::string>& History() const { return m_history; }

private:
    std::unique_ptr<QSoundEffect> m_pEffect;
    std::vector<std::string> m_history;
};
