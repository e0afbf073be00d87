// SPDX-License-Identifier: Apache-2.0
#include "ui/item_dlg.h"

#include "model/item.h"
#include "ui/templates/templates.h"

namespace {
struct CServicePreset {
    const char* pszName;
    int32_t nPort;
};
// Compared in this order, letter case significant; "Other" has no port.
constexpr CServicePreset kPresets[] = {
    {"HTTP", 80}, {"FTP", 21}, {"SMTP", 25}, {"Telnet", 23}, {"Finger", 79}, {"Whois", 43},
};
} // namespace

CItemDlg::CItemDlg(CItem* pItem, QWidget* pParent)
    : CDialog(ItemDlgTemplate(), pParent), m_pItem(pItem) {
    MapCommand(kIdModeIcmp, ECtlEvent::kClicked, &CItemDlg::EnablePortControls);
    MapCommand(kIdModeConnect, ECtlEvent::kClicked, &CItemDlg::EnablePortControls);
    MapCommand(kIdService, ECtlEvent::kSelChange, &CItemDlg::OnServiceChanged);
}

// Exchange order: address, service, port, mode. A port that is no integer
// stops the reading there, so the mode is not read.
bool CItemDlg::ReadControls() {
    m_strAddress = GetDlgItemText(kIdAddress);
    m_strService = GetComboText(kIdService);
    if (!ReadIntegerItem(kIdPort, m_nPort))
        return false;
    m_nMode = GetCheckedRadio(kIdModeIcmp);
    return true;
}

void CItemDlg::WriteControls() {
    SetDlgItemText(kIdAddress, m_strAddress);
    SelectComboPrefix(kIdService, m_strService);
    SetIntegerItem(kIdPort, m_nPort);
    CheckRadio(kIdModeIcmp, m_nMode);
}

// The port controls keep their initial enabling until a mode is clicked.
bool CItemDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_nMode = m_pItem->m_nMode;
    m_strAddress = m_pItem->m_strAddress;
    m_nPort = m_pItem->m_nPort;
    WriteControls();
    return true;
}

void CItemDlg::EnablePortControls() {
    ReadControls();
    const bool bTcp = m_nMode == kProbeTcp;
    EnableDlgItem(kIdService, bTcp);
    EnableDlgItem(kIdPort, bTcp);
    EnableDlgItem(kIdPortSpin, bTcp);
}

void CItemDlg::OnServiceChanged() {
    ReadControls();
    for (const CServicePreset& preset : kPresets) {
        if (m_strService == preset.pszName) {
            m_nPort = preset.nPort;
            WriteControls();
            return;
        }
    }
}

void CItemDlg::OnOK() {
    if (!ReadControls())
        return;
    m_pItem->m_nMode = m_nMode;
    m_pItem->m_strAddress = m_strAddress;
    m_pItem->m_nPort = m_nPort;
    EndDialog(kIdOk);
}
