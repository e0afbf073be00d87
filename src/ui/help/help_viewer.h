// SPDX-License-Identifier: Apache-2.0
// The help engine: a small window of our own that shows the help file (HTML)
// at its contents page, one per owner window.
#pragma once

#include <QTextBrowser>
#include <string>

enum EHelpCommand { kHelpQuit = 2, kHelpContents = 3 };

class CHelpViewer : public QTextBrowser {
public:
    CHelpViewer(QWidget* pOwner, const QString& path);
    QWidget* Owner() const { return m_pOwner; }

private:
    QWidget* m_pOwner;
};

// Asks the help engine, for pOwner, to open strHelpFile at its contents
// (kHelpContents) or to close pOwner's help (kHelpQuit, no file needed).
// False when the engine refuses: the file is missing or unreadable.
bool WinHelp(QWidget* pOwner, const std::string& strHelpFile, EHelpCommand command);

// The viewer open for pOwner, or null.
CHelpViewer* FindHelpViewer(QWidget* pOwner);

// While one exists the help engine refuses every request to open help.
class CHelpRefusal {
public:
    CHelpRefusal();
    ~CHelpRefusal();
    CHelpRefusal(const CHelpRefusal&) = delete;
    CHelpRefusal& operator=(const CHelpRefusal&) = delete;
};
