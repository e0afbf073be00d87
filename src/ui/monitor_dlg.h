// SPDX-License-Identifier: Apache-2.0
// CMonitorDlg: the main window (dialog 102). It owns the current target list
// and keeps a mirror of every setting shown in a control; each settings
// handler writes its change through to the list at once. It runs check passes
// on the pass worker while staying live, and drives the schedule.
#pragma once

#include "model/item_list.h"
#include "monitor/schedule.h"
#include "ui/toolkit/dialog.h"
#include "ui/toolkit/list_view.h"

#include <QIcon>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CAlertSound;

class CMonitorDlg : public CDialog, private CScheduleHost {
public:
    static constexpr int kIdStart = 1000;
    static constexpr int kIdPingNow = 1001;
    static constexpr int kIdStop = 1002;
    static constexpr int kIdSaveList = 1003;
    static constexpr int kIdLoadList = 1004;
    static constexpr int kIdAutoStart = 1005;
    static constexpr int kIdPeriod = 1006;
    static constexpr int kIdPeriodSpin = 1010;
    static constexpr int kIdPopup = 1011;
    static constexpr int kIdSoundBrowse = 1014;
    static constexpr int kIdSound = 1015;
    static constexpr int kIdSoundClear = 1016;
    static constexpr int kIdLogBrowse = 1017;
    static constexpr int kIdExecute = 1018;
    static constexpr int kIdList = 1019;
    static constexpr int kIdLogClear = 1020;
    static constexpr int kIdEdit = 1026;
    static constexpr int kIdAdd = 1027;
    static constexpr int kIdDelete = 1028;
    static constexpr int kIdAbout = 1030;
    static constexpr int kIdLogNever = 1033;
    static constexpr int kIdLogOnFailure = 1034;
    static constexpr int kIdLogAlways = 1035;
    static constexpr int kIdLogFile = 1036;
    static constexpr int kIdHelp = 9;
    static constexpr int kIdScheduleTimer = 1;
    static constexpr int32_t kMinPeriod = 1;
    static constexpr int32_t kMaxPeriod = 100000;

    explicit CMonitorDlg(QWidget* pParent = nullptr, std::string strCommandLineTail = {});
    ~CMonitorDlg() override;

    bool ReadControls() override;
    void WriteControls() override;
    void RefreshList();
    void UpdateControls();

    // Runs one check pass over the list on the worker while this thread keeps
    // dispatching events; 1 when every target responded, else 0.
    int32_t CheckAll();
    void StartMonitoring();
    void StopMonitoring();
    void PingNow();
    // Replaces the list from the list file at strPath, used verbatim.
    void LoadList(std::string strPath);
    // Targets or settings changed since the list was loaded or saved (the
    // results of passes are no change).
    bool ListChanged() const;

    CListView& ListView() { return m_listView; }
    const CAlertSound& Sound() const { return *m_pSound; }
    CItemList* List() const { return m_pList.get(); }

    int32_t m_bAutoStart = 0;
    int32_t m_nPeriod = 15;
    std::string m_strSound;
    int32_t m_bPopup = 1;
    std::string m_strExecute;
    int32_t m_nLogging = kLogNever;
    std::string m_strLogFile;
    QIcon m_hIcon;
    std::unique_ptr<CItemList> m_pList;
    CSchedule m_schedule{*this};

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(int nId) override;
    void OnSysCommand(int nCommand) override;
    void OnDestroy() override;

private:
    // CScheduleHost
    int SetScheduleTimer(int64_t nDelayMs) override;
    void KillScheduleTimer(int nTimer) override;
    bool RunPassFindsAlerts() override { return CheckAll() == 0; }
    void RaiseAlerts() override;
    void RunningChanged() override { UpdateControls(); }
    int32_t PeriodMinutes() const override { return m_pList ? m_pList->m_nPeriod : 15; }

    void MapCommands();
    // Copies every setting of the list into the window's mirror of it.
    void MirrorSettingsFromList();
    // Ends the modal run now, or once the pass and its alerts have returned.
    void EndWhenIdle(int nResult);
    void EndIfRequested();
    // Ends the modal run unless the list has changed and the user, asked
    // whether to save it first, cancels or the save fails.
    void CloseNow(int nResult);
    bool MayDiscardChanges();
    void TakeFocusedFieldEdit();
    void TakeListBaseline();
    // Save List: true once the list has been written.
    bool SaveListAs();
    bool CanChangeList() const { return !m_schedule.IsPassRunning(); }
    void EditTargets(const std::function<void()>& fnEdit);

    void OnPopup();
    void OnAutoStart();
    void OnPeriodChanged();
    void OnExecuteChanged();
    void OnLoggingChanged();
    void OnSoundBrowse();
    void OnSoundClear();
    void OnLogBrowse();
    void OnLogClear();
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnPingNow();
    void OnSaveList();
    void OnLoadList();
    void OnHelp();
    void OnAbout();

    CListView m_listView;
    std::string m_strCommandLineTail;
    std::unique_ptr<CAlertSound> m_pSound;
    int m_nEndRequest = 0; // a result waiting for the pass to return; 0 when none
    bool m_bClosing = false; // the save question is up
    std::vector<uint8_t> m_savedContent; // ListContent when last loaded or saved
};
