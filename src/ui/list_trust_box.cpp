// SPDX-License-Identifier: Apache-2.0
#include "ui/list_trust_box.h"

#include "framework/control_bytes.h"
#include "model/item_list.h"
#include "storage/list_approvals.h"
#include "ui/toolkit/app_window.h"
#include "ui/toolkit/message_box.h"
#include "ui/toolkit/text.h"

#include <QMessageBox>
#include <QPushButton>

namespace {
// A setting longer than this is shown cut, with its length: a box taller
// than the screen would hide its own buttons.
constexpr size_t kShownBytes = 600;

std::string Shown(const std::string& text) {
    const std::string strShown = EscapeControlBytes(text);
    if (strShown.size() <= kShownBytes)
        return strShown;
    return strShown.substr(0, kShownBytes) + "... (" + std::to_string(text.size()) +
           " characters in all)";
}

bool AskToAllow(QWidget* pOwner, const std::string& strText) {
    if (CMessageBoxRecorder* pRecorder = CMessageBoxRecorder::Active())
        return pRecorder->Record({strText, ApplicationTitle(), EMsgIcon::kQuestion, pOwner}) ==
               kIdAllowListActions;
    QMessageBox box(QMessageBox::Question, ToQString(ApplicationTitle()), ToQString(strText),
                    QMessageBox::NoButton, pOwner);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(pOwner ? Qt::WindowModal : Qt::ApplicationModal);
    QPushButton* pAllow = box.addButton("&Allow", QMessageBox::YesRole);
    QPushButton* pDeny = box.addButton("&Don't Allow", QMessageBox::NoRole);
    box.setDefaultButton(pDeny);
    box.setEscapeButton(pDeny);
    box.exec();
    return box.clickedButton() == pAllow;
}
} // namespace

std::string ListTrustText(const std::string& strListPath, const SListActions& actions) {
    std::string strText = "The list " + Shown(FullPath(strListPath)) + " asks to:\n";
    if (!actions.strCommand.empty())
        strText += "\nrun this command when a check fails:\n" + Shown(actions.strCommand) + "\n";
    if (!actions.strLogFile.empty())
        strText += "\nadd its records to the file\n" + Shown(actions.strLogFile) + "\n";
    return strText + "\nA list from someone else can run anything and write to any of your "
                     "files. Allow this list to do so?\n\nIf you don't allow it, the list is "
                     "loaded and checked, but until Ostrel is closed it runs no command and "
                     "writes no log.";
}

void TrustLoadedList(QWidget* pOwner, const std::string& strListPath, CItemList& list) {
    const SListActions actions = ListActions(list);
    CListApprovals approvals;
    if (actions.IsEmpty() || approvals.IsApproved(strListPath, actions))
        return;
    if (AskToAllow(pOwner, ListTrustText(strListPath, actions))) {
        approvals.Approve(strListPath, actions);
    } else {
        list.m_strHeldExecute = list.m_strExecute;
        list.m_strHeldLogFile = list.m_strLogFile;
    }
}

void TrustSavedList(const std::string& strListPath, const CItemList& list) {
    const SListActions actions = ListActions(list);
    if (!actions.IsEmpty() && !list.IsLogFileHeld() && !list.IsCommandHeld(list.m_strExecute))
        CListApprovals().Approve(strListPath, actions);
}
