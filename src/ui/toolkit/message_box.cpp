#include "ui/toolkit/message_box.h"

#include "ui/toolkit/app_window.h"
#include "ui/toolkit/text.h"

#include <QApplication>
#include <QMessageBox>

namespace {
CMessageBoxRecorder* g_pRecorder = nullptr;

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

CMessageBoxRecorder::CMessageBoxRecorder() : m_pPrevious(g_pRecorder) {
    g_pRecorder = this;
}

CMessageBoxRecorder::~CMessageBoxRecorder() {
    g_pRecorder = m_pPrevious;
}

CMessageBoxRecorder* CMessageBoxRecorder::Active() {
    return g_pRecorder;
}

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
    if (g_pRecorder)
        ++g_pRecorder->m_nBeeps;
    else
        QApplication::beep();
}

int ShowMessageBox(QWidget* pOwner, const std::string& strText, EMsgIcon icon, bool bBeep) {
    if (icon == EMsgIcon::kNone)
        icon = EMsgIcon::kExclamation;
    if (bBeep)
        MessageBeep(icon);
    const std::string strCaption = ApplicationTitle();
    if (g_pRecorder)
        return g_pRecorder->Record({strText, strCaption, icon, pOwner});

    QMessageBox box(QtIcon(icon), ToQString(strCaption), ToQString(strText), QMessageBox::Ok,
                    pOwner);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(pOwner ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
    return kIdOkAnswer;
}
