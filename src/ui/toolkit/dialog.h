// SPDX-License-Identifier: Apache-2.0
// CDialog: a window built from a dialog template, run modally (DoModal, the
// owner disabled meanwhile) or modeless (Create, DestroyWindow). Control
// events reach handlers through the class's command table; an error object
// that leaves a handler is shown to the user and the window goes on.
#pragma once

#include "ui/toolkit/dialog_template.h"
#include "ui/toolkit/dialog_units.h"

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CDialogWindow;
class CWindowTimer;
class QMenu;

enum class ECtlEvent { kClicked, kKillFocus, kSelChange, kDblClk };

// System command ids of the window manager's own entries.
inline constexpr int kScMinimize = 0xF020;
inline constexpr int kScClose = 0xF060;

class CDialog {
public:
    CDialog(const CDialogTemplate& tpl, QWidget* pParent);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until EndDialog; gives its result (kIdOk, kIdCancel).
    int DoModal();
    // Creates the dialog modeless; shown at once when its template says so.
    bool Create();
    void DestroyWindow();
    // Ends the dialog with nResult: a modal run returns it, a modeless dialog
    // is hidden.
    void EndDialog(int nResult);

    const CDialogTemplate& Template() const { return m_tpl; }
    QWidget* GetWindow() const;
    QWidget* GetParent() const { return m_pParent; }
    QWidget* GetDlgItem(int nId) const;
    template <class T> T* Item(int nId) const { return dynamic_cast<T*>(GetDlgItem(nId)); }
    const CDialogUnits& Units() const { return *m_pUnits; }

    // Appends a separator, or an entry that sends nCommand to OnSysCommand, to
    // the window's system menu. Here the window manager owns the title bar's
    // menu, so the entries appear in the window's context menu instead.
    void AppendSystemMenuSeparator();
    void AppendSystemMenuItem(const std::string& strText, int nCommand);
    // Opens the system menu at a global position; the menu closes itself.
    QMenu* PopupSystemMenu(const QPoint& globalPos);

    // Entry points of the window's events, each run through the dispatch that
    // catches error objects.
    void Command(int nId, ECtlEvent event);
    void SysCommand(int nCommand);
    void TimerFired(int nId);
    // The window went without DestroyWindow (deleted with its parent).
    void WindowDestroyed();

    // Arms timer nId (replacing one of the same id) to fire every nElapseMs;
    // gives nId, or 0 when there is no window or nId is 0.
    int SetTimer(int nId, int64_t nElapseMs);
    bool KillTimer(int nId);
    const CWindowTimer* FindTimer(int nId) const;

protected:
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnTimer(int nId);
    virtual void OnSysCommand(int nCommand);
    virtual void OnDestroy() {}
    // The field exchange: WriteControls is called by OnInitDialog.
    virtual bool ReadControls() { return true; }
    virtual void WriteControls() {}

    // The command table: nId's event runs pfn.
    template <class T> void MapCommand(int nId, ECtlEvent event, void (T::*pfn)()) {
        m_commands.push_back({nId, event, [this, pfn] { (static_cast<T*>(this)->*pfn)(); }});
    }

    // Controls.
    void EnableDlgItem(int nId, bool bEnable);
    void GotoDlgItem(int nId); // focus, with a text field's text selected
    std::string GetDlgItemText(int nId) const;
    void SetDlgItemText(int nId, const std::string& strText);
    int IsDlgButtonChecked(int nId) const;
    void CheckDlgButton(int nId, int nCheck);
    // The index of the checked button of the radio group starting at
    // nFirstId, or -1; checking index -1 clears the group.
    int GetCheckedRadio(int nFirstId) const;
    void CheckRadio(int nFirstId, int nIndex);
    // The drop-down list's selected entry, or "" when none is selected.
    std::string GetComboText(int nId) const;
    // Selects the first entry starting with strPrefix, letter case ignored;
    // gives its index, or -1 with the selection unchanged (also for "").
    int SelectComboPrefix(int nId, const std::string& strPrefix);

    // The integer fields. Reading failure shows the message with the
    // exclamation icon and puts the focus back into the field, text selected.
    bool ReadIntegerItem(int nId, int32_t& nValue);
    bool ReadIntegerItemInRange(int nId, int32_t& nValue, int32_t nMin, int32_t nMax);
    void SetIntegerItem(int nId, int32_t nValue);

private:
    friend class CDialogWindow;
    struct CCommandEntry {
        int nId;
        ECtlEvent event;
        std::function<void()> fn;
    };

    bool CreateWindowObject();
    bool InitWindow();
    void SafeCall(const std::function<void()>& fn);
    void FailIntegerItem(int nId, const std::string& strMessage);
    const std::vector<QWidget*>* RadioGroup(int nFirstId) const;

    const CDialogTemplate& m_tpl;
    QPointer<QWidget> m_pParent;
    CDialogWindow* m_pWnd = nullptr;
    std::unique_ptr<CDialogUnits> m_pUnits;
    std::map<int, QWidget*> m_items;
    std::map<int, std::vector<QWidget*>> m_radioGroups; // by the first button's id
    std::vector<CCommandEntry> m_commands;
    std::vector<std::pair<std::string, int>> m_systemMenu; // command 0: separator
    std::map<int, std::unique_ptr<CWindowTimer>> m_timers;
    bool m_bModal = false;
    bool m_bEnded = false;
    bool m_bDestroying = false;
    int m_nDispatchDepth = 0;
    int m_nResult = kIdCancel;
};
