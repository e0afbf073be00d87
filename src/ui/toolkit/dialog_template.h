// SPDX-License-Identifier: Apache-2.0
// Dialog templates kept as data: a window's id, title, size and controls, with
// positions and sizes in dialog units. CDialog builds real widgets from them.
#pragma once

#include <string>
#include <vector>

enum class ECtlKind {
    kLabel,      // static text
    kIcon,       // the program icon
    kGroupFrame, // a titled frame drawn around other controls
    kButton,
    kCheckBox,
    kRadio,
    kEdit,     // single-line text field
    kDropDown, // drop-down list, no typing
    kSpin,     // up and down arrows attached to the text field before it
    kProgress,
    kListView, // list view in report view
};

// Control styles.
enum : unsigned {
    kStyleDefault = 1u << 0,   // button: the default button (Enter)
    kStyleReadOnly = 1u << 1,  // text field
    kStyleGroup = 1u << 2,     // radio: first button of a new group
    kStyleBorder = 1u << 3,    // list view, progress bar
    kStyleSingleSel = 1u << 4, // list view
    kStyleNoSort = 1u << 5,    // drop-down list: entries kept in template order
};

// Window styles.
enum : unsigned {
    kWndSysMenu = 1u << 0,     // caption with a close box
    kWndMinimizeBox = 1u << 1, // caption with a minimise box
    kWndAppWindow = 1u << 2,   // shown in the task bar
    kWndVisible = 1u << 3,     // shown as soon as it is created
    kWndCenter = 1u << 4,      // centred on the screen's work area, else over the parent
};

// Each control's and window's id where the control has none.
inline constexpr int kIdStatic = -1;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

struct CDlgControl {
    int nId;
    ECtlKind kind;
    std::string strText;
    int x, y, cx, cy; // dialog units
    unsigned nStyle = 0;
    bool bTabStop = false;
    std::vector<std::string> entries = {}; // drop-down list entries, in order

    // The height the control takes in the window: a drop-down list's template
    // height includes its open list; closed it is one text field high.
    int ShownHeight() const { return kind == ECtlKind::kDropDown && cy > 14 ? 14 : cy; }
};

struct CDialogTemplate {
    int nId;
    std::string strTitle;
    int cx, cy; // dialog units
    std::string strFontName;
    int nFontPoints;
    unsigned nStyle;
    std::vector<CDlgControl> controls;

    const CDlgControl* Find(int nControlId) const;
};
