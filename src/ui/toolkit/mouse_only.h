// SPDX-License-Identifier: Apache-2.0
// A span of time in which some windows answer the mouse only, as a check pass
// needs: its loop dispatches events without the windows' keyboard handling.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <initializer_list>
#include <vector>

// While it lives, no key reaches the given windows or their controls: no key
// press or release, no shortcut or mnemonic, no menu opened from the
// keyboard. Their mouse works as before, and other windows (a dialog opened
// meanwhile with the mouse) keep their keyboard.
class CMouseOnlyScope : public QObject {
public:
    explicit CMouseOnlyScope(std::initializer_list<QWidget*> windows);
    ~CMouseOnlyScope() override;
    CMouseOnlyScope(const CMouseOnlyScope&) = delete;
    CMouseOnlyScope& operator=(const CMouseOnlyScope&) = delete;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    bool Holds(const QObject* pReceiver) const;

    std::vector<QPointer<QWidget>> m_windows;
};
