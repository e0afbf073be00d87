// SPDX-License-Identifier: Apache-2.0
#include "monitor/alert_sound.h"

#include <QSoundEffect>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Whether `strPath` is a regular file, found without waiting: opening a pipe
// with no writer, or a device, could keep the player's loader waiting for
// good, and with it the process after the window has closed.
bool IsRegularFile(const std::string& strPath) {
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    const bool bRegular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return bRegular;
}
} // namespace

CAlertSound::CAlertSound() = default;
CAlertSound::~CAlertSound() = default;

void CAlertSound::Play(const std::string& strPath) {
    m_history.push_back(strPath);
    if (!IsRegularFile(strPath))
        return;
    // Created on first use: the audio back end is only woken for an alert.
    if (!m_pEffect)
        m_pEffect = std::make_unique<QSoundEffect>();
    m_pEffect->setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(strPath)));
    m_pEffect->play();
}
