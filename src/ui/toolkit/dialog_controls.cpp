// SPDX-License-Identifier: Apache-2.0
// CDialog's access to its controls and the integer fields' exchange.
#include "framework/integer_text.h"
#include "ui/toolkit/dialog.h"
#include "ui/toolkit/dialog_window.h"
#include "ui/toolkit/message_box.h"
#include "ui/toolkit/text.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

void CDialog::EnableDlgItem(int nId, bool bEnable) {
    if (QWidget* pWidget = GetDlgItem(nId))
        pWidget->setEnabled(bEnable);
}

void CDialog::GotoDlgItem(int nId) {
    QWidget* pWidget = GetDlgItem(nId);
    if (!pWidget)
        return;
    pWidget->setFocus(Qt::OtherFocusReason);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget))
        pEdit->selectAll();
}

std::string CDialog::GetDlgItemText(int nId) const {
    QWidget* pWidget = GetDlgItem(nId);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget))
        return FromQString(pEdit->text());
    if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget))
        return FromQString(pButton->text());
    return {};
}

void CDialog::SetDlgItemText(int nId, const std::string& strText) {
    QWidget* pWidget = GetDlgItem(nId);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget)) {
        pEdit->setText(ToQString(strText));
        pEdit->setCursorPosition(0);
    } else if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget)) {
        pButton->setText(ToQString(strText));
    }
}

int CDialog::IsDlgButtonChecked(int nId) const {
    auto* pButton = qobject_cast<QAbstractButton*>(GetDlgItem(nId));
    // A box shown in its third state reads as set, as the stored value was.
    return pButton && pButton->isChecked() ? 1 : 0;
}

void CDialog::CheckDlgButton(int nId, int nCheck) {
    auto* pButton = qobject_cast<QAbstractButton*>(GetDlgItem(nId));
    if (auto* pCheck = qobject_cast<QCheckBox*>(pButton))
        pCheck->setCheckState(nCheck == 1   ? Qt::Checked
                              : nCheck == 2 ? Qt::PartiallyChecked
                                            : Qt::Unchecked);
    else if (pButton)
        pButton->setChecked(nCheck != 0);
}

const std::vector<QWidget*>* CDialog::RadioGroup(int nFirstId) const {
    const auto it = m_radioGroups.find(nFirstId);
    return it == m_radioGroups.end() ? nullptr : &it->second;
}

int CDialog::GetCheckedRadio(int nFirstId) const {
    const std::vector<QWidget*>* pButtons = RadioGroup(nFirstId);
    for (size_t i = 0; pButtons && i < pButtons->size(); ++i)
        if (static_cast<QAbstractButton*>((*pButtons)[i])->isChecked())
            return static_cast<int>(i);
    return -1;
}

void CDialog::CheckRadio(int nFirstId, int nIndex) {
    const std::vector<QWidget*>* pButtons = RadioGroup(nFirstId);
    if (!pButtons || pButtons->empty())
        return;
    // An exclusive group will not let its checked button go: open it meanwhile.
    QButtonGroup* pGroup = static_cast<QAbstractButton*>(pButtons->front())->group();
    pGroup->setExclusive(false);
    for (size_t i = 0; i < pButtons->size(); ++i)
        static_cast<QAbstractButton*>((*pButtons)[i])->setChecked(static_cast<int>(i) == nIndex);
    pGroup->setExclusive(true);
}

std::string CDialog::GetComboText(int nId) const {
    auto* pCombo = qobject_cast<QComboBox*>(GetDlgItem(nId));
    return pCombo && pCombo->currentIndex() >= 0 ? FromQString(pCombo->currentText())
                                                 : std::string();
}

int CDialog::SelectComboPrefix(int nId, const std::string& strPrefix) {
    auto* pCombo = qobject_cast<QComboBox*>(GetDlgItem(nId));
    if (!pCombo || strPrefix.empty())
        return -1;
    const QString prefix = ToQString(strPrefix);
    for (int i = 0; i < pCombo->count(); ++i) {
        if (pCombo->itemText(i).startsWith(prefix, Qt::CaseInsensitive)) {
            pCombo->setCurrentIndex(i);
            return i;
        }
    }
    return -1;
}

void CDialog::FailIntegerItem(int nId, const std::string& strMessage) {
    ShowMessageBox(m_pWnd, strMessage, EMsgIcon::kExclamation);
    GotoDlgItem(nId);
}

bool CDialog::ReadIntegerItem(int nId, int32_t& nValue) {
    const std::optional<int32_t> value = ReadIntegerText(GetDlgItemText(nId));
    if (!value) {
        FailIntegerItem(nId, kEnterIntegerMessage);
        return false;
    }
    nValue = *value;
    return true;
}

// The value is stored before the range is checked, as the exchange does.
bool CDialog::ReadIntegerItemInRange(int nId, int32_t& nValue, int32_t nMin, int32_t nMax) {
    if (!ReadIntegerItem(nId, nValue))
        return false;
    if (nValue < nMin || nValue > nMax) {
        FailIntegerItem(nId, IntegerRangeMessage(nMin, nMax));
        return false;
    }
    return true;
}

void CDialog::SetIntegerItem(int nId, int32_t nValue) {
    SetDlgItemText(nId, std::to_string(nValue));
}
