// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/message_box.h"

#include "ui/toolkit/app_window.h"
#include "ui/toolkit/text.h"

#include <QApplication>
#include <QMessageBox>

namespace {
QMessageBox::Icon QtIcon(EMsgIcon icon) {
    switch (icon) {
    case EMsgIcon::kStop:
        return QMessageBox::Critical;
    case EMsgIcon::kInformation:
        return QMessageBox::Information;
    case EMsgIcon::kQuestion:
        return QMessageBox::Question;
    default:
        return QMessageBox::Warning;
    }
}
} // namespace

int CMessageBoxRecorder::Record(CBox box) {
    m_boxes.push_back(box);
    if (m_onBox)
        m_onBox(m_boxes.back());
    if (m_answers.empty())
        return kIdOkAnswer;
    const int nAnswer = m_answers.front();
    m_answers.pop_front();
    return nAnswer;
}

void MessageBeep(EMsgIcon) {
    if (CMessageBoxRecorder* pRecorder = CMessageBoxRecorder::Active())
        ++pRecorder->m_nBeeps;
    else
        QApplication::beep();
}

int ShowMessageBox(QWidget* pOwner, const std::string& strText, EMsgIcon icon, bool bBeep) {
    if (icon == EMsgIcon::kNone)
        icon = EMsgIcon::kExclamation;
    if (bBeep)
        MessageBeep(icon);
    const std::string strCaption = ApplicationTitle();
    if (CMessageBoxRecorder* pRecorder = CMessageBoxRecorder::Active())
        return pRecorder->Record({strText, strCaption, icon, pOwner});

    QMessageBox box(QtIcon(icon), ToQString(strCaption), ToQString(strText), QMessageBox::Ok,
                    pOwner);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(pOwner ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
    return kIdOkAnswer;
}
