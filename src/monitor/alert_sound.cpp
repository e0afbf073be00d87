#include "monitor/alert_sound.h"

#include <QSoundEffect>
#include <QUrl>

CAlertSound::CAlertSound() = default;
CAlertSound::~CAlertSound() = default;

void CAlertSound::Play(const std::string& strPath) {
    m_history.push_back(strPath);
    // Created on first use: the audio back end is only woken for an alert.
    if (!m_pEffect)
        m_pEffect = std::make_unique<QSoundEffect>();
    m_pEffect->setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(strPath)));
    m_pEffect->play();
}
