// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/save_question.h"

#include "ui/toolkit/app_window.h"
#include "ui/toolkit/message_box.h"
#include "ui/toolkit/text.h"

#include <QMessageBox>
#include <QPushButton>

namespace {
ESaveAnswer FromRecordedAnswer(int nAnswer) {
    switch (nAnswer) {
    case kIdSaveAnswer:
        return ESaveAnswer::kSave;
    case kIdDiscardAnswer:
        return ESaveAnswer::kDiscard;
    default: // kIdCancel, or an answer the box cannot give
        return ESaveAnswer::kCancel;
    }
}
} // namespace

ESaveAnswer AskSaveChanges(QWidget* pOwner, const std::string& strText) {
    const std::string strCaption = ApplicationTitle();
    if (CMessageBoxRecorder* pRecorder = CMessageBoxRecorder::Active())
        return FromRecordedAnswer(
            pRecorder->Record({strText, strCaption, EMsgIcon::kExclamation, pOwner}));

    QMessageBox box(QMessageBox::Warning, ToQString(strCaption), ToQString(strText),
                    QMessageBox::NoButton, pOwner);
    box.setTextFormat(Qt::PlainText);
    QPushButton* pSave = box.addButton(QStringLiteral("&Save"), QMessageBox::AcceptRole);
    QPushButton* pDiscard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
    QPushButton* pCancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(pSave);
    box.setEscapeButton(pCancel);
    box.setWindowModality(pOwner ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
    if (box.clickedButton() == pSave)
        return ESaveAnswer::kSave;
    return box.clickedButton() == pDiscard ? ESaveAnswer::kDiscard : ESaveAnswer::kCancel;
}
