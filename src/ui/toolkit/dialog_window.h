// SPDX-License-Identifier: Apache-2.0
// The Qt window of a CDialog: hands the keyboard's Enter and Esc, the close
// box, the context menu and the text fields' focus changes to its CDialog,
// and gives a button the focus before its mnemonic clicks it.
#pragma once

#include <QDialog>

class CDialog;
class QAbstractButton;

class CDialogWindow : public QDialog {
public:
    CDialogWindow(CDialog& owner, QWidget* pParent, Qt::WindowFlags flags);
    // A window deleted from outside (with its parent) tells its CDialog.
    ~CDialogWindow() override;
    // The CDialog lets go of the window: no more events reach it.
    void Detach() { m_pOwner = nullptr; }

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void PressEnter();
    void PressMnemonic(QAbstractButton* pButton);

    CDialog* m_pOwner;
};
