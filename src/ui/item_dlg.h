// SPDX-License-Identifier: Apache-2.0
// CItemDlg: the target editor (dialog 129). It edits copies of one target's
// address, mode and port and writes them back only when closed with Close.
#pragma once

#include "ui/toolkit/dialog.h"

#include <cstdint>
#include <string>

class CItem;

class CItemDlg : public CDialog {
public:
    static constexpr int kIdAddress = 1022;
    static constexpr int kIdModeIcmp = 1020;
    static constexpr int kIdModeConnect = 1021;
    static constexpr int kIdService = 1023;
    static constexpr int kIdPort = 1024;
    static constexpr int kIdPortSpin = 1025;

    CItemDlg(CItem* pItem, QWidget* pParent);

    bool ReadControls() override;
    void WriteControls() override;
    // Reads the controls, then enables the service box, the port field and
    // its spin for TCP connect and disables them otherwise.
    void EnablePortControls();

    std::string m_strAddress;
    std::string m_strService; // never taken from nor stored in the target
    int32_t m_nPort = 0;
    int32_t m_nMode = -1;
    CItem* m_pItem;

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnServiceChanged();
};
