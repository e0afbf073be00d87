// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/dialog.h"

#include "framework/exception.h"
#include "ui/toolkit/center_window.h"
#include "ui/toolkit/control_factory.h"
#include "ui/toolkit/dialog_window.h"
#include "ui/toolkit/message_box.h"
#include "ui/toolkit/radio_group_keys.h"
#include "ui/toolkit/spin_button.h"
#include "ui/toolkit/text.h"
#include "ui/toolkit/window_timer.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTreeWidget>

namespace {
constexpr size_t kMaxErrorText = 127;

Qt::WindowFlags WindowFlags(unsigned nStyle) {
    Qt::WindowFlags flags = (nStyle & kWndAppWindow) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (nStyle & kWndSysMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (nStyle & kWndMinimizeBox)
        flags |= Qt::WindowMinimizeButtonHint;
    return flags;
}

// A group is a tab stop when the template makes any of its buttons one.
void AttachRadioKeys(const std::map<int, std::vector<QWidget*>>& groups) {
    for (const auto& [nFirstId, group] : groups) {
        std::vector<QAbstractButton*> buttons;
        bool bTabStop = false;
        for (QWidget* pButton : group) {
            buttons.push_back(static_cast<QAbstractButton*>(pButton));
            bTabStop = bTabStop || (pButton->focusPolicy() & Qt::TabFocus);
        }
        AttachRadioGroupKeys(buttons, bTabStop);
    }
}
} // namespace

CDialog::CDialog(const CDialogTemplate& tpl, QWidget* pParent) : m_tpl(tpl), m_pParent(pParent) {}

CDialog::~CDialog() {
    DestroyWindow();
}

QWidget* CDialog::GetWindow() const {
    return m_pWnd;
}

QWidget* CDialog::GetDlgItem(int nId) const {
    const auto it = m_items.find(nId);
    return it == m_items.end() ? nullptr : it->second;
}

int CDialog::DoModal() {
    if (!CreateWindowObject())
        return -1;
    m_bModal = true;
    if (InitWindow() && !m_bEnded)
        m_pWnd->exec();
    DestroyWindow();
    return m_nResult;
}

bool CDialog::Create() {
    if (!CreateWindowObject())
        return false;
    m_bModal = false;
    InitWindow();
    if (m_pWnd && (m_tpl.nStyle & kWndVisible) && !m_bEnded)
        m_pWnd->show();
    return m_pWnd != nullptr;
}

void CDialog::EndDialog(int nResult) {
    m_nResult = nResult;
    m_bEnded = true;
    if (!m_pWnd)
        return;
    if (m_bModal)
        m_pWnd->done(nResult);
    else
        m_pWnd->hide();
}

void CDialog::DestroyWindow() {
    if (!m_pWnd || m_bDestroying)
        return;
    m_bDestroying = true;
    OnDestroy();
    m_timers.clear();
    CDialogWindow* pWnd = m_pWnd;
    m_pWnd = nullptr;
    m_items.clear();
    m_radioGroups.clear();
    pWnd->Detach();
    pWnd->hide();
    if (m_nDispatchDepth > 0)
        pWnd->deleteLater(); // one of its own events is being handled
    else
        delete pWnd;
    m_bDestroying = false;
}

void CDialog::WindowDestroyed() {
    m_timers.clear();
    m_items.clear();
    m_radioGroups.clear();
    m_pWnd = nullptr;
    m_bEnded = true;
}

bool CDialog::CreateWindowObject() {
    if (m_pWnd)
        return false;
    m_bEnded = false;
    m_nResult = kIdCancel;
    m_pWnd = new CDialogWindow(*this, m_pParent, WindowFlags(m_tpl.nStyle));
    const QFont font = QApplication::font(); // the platform's dialog font
    m_pWnd->setFont(font);
    m_pUnits = std::make_unique<CDialogUnits>(font);
    m_pWnd->setWindowTitle(ToQString(m_tpl.strTitle));
    m_pWnd->setFixedSize(m_pUnits->ToPixels(m_tpl.cx, m_tpl.cy));
    m_pWnd->setSizeGripEnabled(false);

    QWidget* pPrevious = nullptr;
    QButtonGroup* pGroup = nullptr;
    int nGroupId = 0;
    for (const CDlgControl& ctl : m_tpl.controls) {
        QWidget* pWidget = CreateControl(ctl, *m_pUnits, m_pWnd, pPrevious);
        const int nId = ctl.nId;
        if (nId != kIdStatic)
            m_items[nId] = pWidget;
        if (ctl.kind == ECtlKind::kRadio) {
            if (!pGroup || (ctl.nStyle & kStyleGroup)) {
                pGroup = new QButtonGroup(m_pWnd);
                nGroupId = nId;
            }
            pGroup->addButton(static_cast<QRadioButton*>(pWidget));
            m_radioGroups[nGroupId].push_back(pWidget);
        } else {
            pGroup = nullptr;
        }
        // The window watches a button's mnemonic and a field's loss of the focus.
        if (qobject_cast<QAbstractButton*>(pWidget) || qobject_cast<QLineEdit*>(pWidget))
            pWidget->installEventFilter(m_pWnd);
        if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget))
            QObject::connect(pButton, &QAbstractButton::clicked, m_pWnd,
                             [this, nId] { Command(nId, ECtlEvent::kClicked); });
        else if (auto* pCombo = qobject_cast<QComboBox*>(pWidget))
            QObject::connect(pCombo, &QComboBox::activated, m_pWnd,
                             [this, nId] { Command(nId, ECtlEvent::kSelChange); });
        else if (auto* pTree = qobject_cast<QTreeWidget*>(pWidget))
            QObject::connect(pTree, &QTreeWidget::itemDoubleClicked, m_pWnd,
                             [this, nId] { Command(nId, ECtlEvent::kDblClk); });
        else if (auto* pSpin = dynamic_cast<CSpinButton*>(pWidget))
            pSpin->OnStepped([this, nId] { Command(nId, ECtlEvent::kClicked); });
        pPrevious = pWidget;
    }
    AttachRadioKeys(m_radioGroups);
    return true;
}

bool CDialog::InitWindow() {
    if (m_tpl.nStyle & kWndCenter)
        CenterWindow(m_pWnd, nullptr);
    else
        CenterWindow(m_pWnd, m_pParent);
    bool bSetFocus = true;
    SafeCall([this, &bSetFocus] { bSetFocus = OnInitDialog(); });
    if (!m_pWnd)
        return false;
    if (bSetFocus) {
        for (const CDlgControl& ctl : m_tpl.controls) {
            QWidget* pWidget = GetDlgItem(ctl.nId);
            if (ctl.bTabStop && pWidget && pWidget->isEnabled()) {
                pWidget->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
    return true;
}

void CDialog::SafeCall(const std::function<void()>& fn) {
    ++m_nDispatchDepth;
    try {
        fn();
    } catch (const CException& e) {
        std::string strText = e.GetErrorMessage();
        if (strText.size() > kMaxErrorText)
            strText.resize(kMaxErrorText);
        ShowMessageBox(m_pWnd, strText, EMsgIcon::kStop);
    }
    --m_nDispatchDepth;
}

void CDialog::Command(int nId, ECtlEvent event) {
    if (!m_pWnd || m_bDestroying)
        return;
    // A field that loses the focus because a handler moved it (or showed a
    // message box) is no user leaving it: reporting that would start the
    // next handler while the first one still runs.
    if (event == ECtlEvent::kKillFocus && m_nDispatchDepth > 0)
        return;
    for (const CCommandEntry& entry : m_commands) {
        if (entry.nId == nId && entry.event == event) {
            const std::function<void()> fn = entry.fn; // the table may not change, but be safe
            SafeCall(fn);
            return;
        }
    }
    if (event != ECtlEvent::kClicked)
        return;
    if (nId == kIdOk)
        SafeCall([this] { OnOK(); });
    else if (nId == kIdCancel)
        SafeCall([this] { OnCancel(); });
}

void CDialog::SysCommand(int nCommand) {
    if (m_pWnd && !m_bDestroying)
        SafeCall([this, nCommand] { OnSysCommand(nCommand); });
}

void CDialog::TimerFired(int nId) {
    if (m_pWnd && !m_bDestroying)
        SafeCall([this, nId] { OnTimer(nId); });
}

bool CDialog::OnInitDialog() {
    WriteControls();
    return true;
}

void CDialog::OnOK() {
    if (ReadControls())
        EndDialog(kIdOk);
}

void CDialog::OnCancel() {
    EndDialog(kIdCancel);
}

void CDialog::OnTimer(int) {}

// The window manager's own entries; anything else has nothing to do here.
void CDialog::OnSysCommand(int nCommand) {
    if ((nCommand & 0xFFF0) == kScClose)
        Command(kIdCancel, ECtlEvent::kClicked);
    else if ((nCommand & 0xFFF0) == kScMinimize && m_pWnd)
        m_pWnd->showMinimized();
}

void CDialog::AppendSystemMenuSeparator() {
    m_systemMenu.emplace_back(std::string(), 0);
}

void CDialog::AppendSystemMenuItem(const std::string& strText, int nCommand) {
    m_systemMenu.emplace_back(strText, nCommand);
}

QMenu* CDialog::PopupSystemMenu(const QPoint& globalPos) {
    if (!m_pWnd || m_systemMenu.empty())
        return nullptr;
    auto* pMenu = new QMenu(m_pWnd);
    pMenu->setAttribute(Qt::WA_DeleteOnClose);
    for (const auto& [strText, nCommand] : m_systemMenu) {
        if (nCommand == 0) {
            pMenu->addSeparator();
            continue;
        }
        const int nId = nCommand;
        QObject::connect(pMenu->addAction(ToQString(strText)), &QAction::triggered, m_pWnd,
                         [this, nId] { SysCommand(nId); });
    }
    pMenu->popup(globalPos);
    return pMenu;
}

int CDialog::SetTimer(int nId, int64_t nElapseMs) {
    if (!m_pWnd || nId == 0)
        return 0;
    m_timers[nId] =
        std::make_unique<CWindowTimer>(m_pWnd, nElapseMs, [this, nId] { TimerFired(nId); });
    return nId;
}

bool CDialog::KillTimer(int nId) {
    return m_timers.erase(nId) > 0;
}

const CWindowTimer* CDialog::FindTimer(int nId) const {
    const auto it = m_timers.find(nId);
    return it == m_timers.end() ? nullptr : it->second.get();
}
