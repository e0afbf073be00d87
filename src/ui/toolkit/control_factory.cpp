// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/control_factory.h"

#include "ui/toolkit/program_icon.h"
#include "ui/toolkit/spin_button.h"
#include "ui/toolkit/text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <algorithm>
#include <limits>

namespace {
// A check box of two states for the user: a click clears a set box and sets
// any other, so the third state, which only the program shows (a stored 2),
// is never reached by a click.
class CTwoStateCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        setTristate(false);
    }
};

QWidget* CreateListView(const CDlgControl& ctl, QWidget* pWnd) {
    auto* pTree = new QTreeWidget(pWnd);
    pTree->setRootIsDecorated(false);
    pTree->setItemsExpandable(false);
    pTree->setUniformRowHeights(true);
    pTree->setAllColumnsShowFocus(true);
    pTree->setSortingEnabled(false);
    pTree->setSelectionMode((ctl.nStyle & kStyleSingleSel) ? QAbstractItemView::SingleSelection
                                                           : QAbstractItemView::ExtendedSelection);
    pTree->header()->setStretchLastSection(false);
    pTree->header()->setSectionsMovable(false);
    pTree->headerItem()->setText(0, QString()); // no column yet
    pTree->setColumnWidth(0, 0);
    if (!(ctl.nStyle & kStyleBorder))
        pTree->setFrameShape(QFrame::NoFrame);
    return pTree;
}

QWidget* CreateWidget(const CDlgControl& ctl, QWidget* pWnd, QWidget* pPrevious) {
    const QString text = ToQString(ctl.strText);
    switch (ctl.kind) {
    case ECtlKind::kLabel:
        return new QLabel(text, pWnd);
    case ECtlKind::kIcon: {
        auto* pLabel = new QLabel(pWnd);
        pLabel->setPixmap(ProgramIcon().pixmap(32, 32));
        pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return pLabel;
    }
    case ECtlKind::kGroupFrame:
        return new QGroupBox(text, pWnd);
    case ECtlKind::kButton: {
        auto* pButton = new QPushButton(text, pWnd);
        pButton->setAutoDefault(false); // Enter is the dialog's own business
        pButton->setDefault(ctl.nStyle & kStyleDefault);
        return pButton;
    }
    case ECtlKind::kCheckBox:
        return new CTwoStateCheckBox(text, pWnd);
    case ECtlKind::kRadio: {
        auto* pRadio = new QRadioButton(text, pWnd);
        pRadio->setAutoExclusive(false); // the dialog groups its buttons
        return pRadio;
    }
    case ECtlKind::kEdit: {
        auto* pEdit = new QLineEdit(text, pWnd);
        pEdit->setReadOnly(ctl.nStyle & kStyleReadOnly);
        // Text has any length: no limit of our own beyond the widget's int.
        pEdit->setMaxLength(std::numeric_limits<int>::max());
        return pEdit;
    }
    case ECtlKind::kDropDown: {
        auto* pCombo = new QComboBox(pWnd);
        pCombo->setEditable(false);
        for (const std::string& strEntry : ctl.entries)
            pCombo->addItem(ToQString(strEntry));
        pCombo->setCurrentIndex(-1);
        return pCombo;
    }
    case ECtlKind::kSpin:
        return new CSpinButton(qobject_cast<QLineEdit*>(pPrevious), pWnd);
    case ECtlKind::kProgress: {
        auto* pBar = new QProgressBar(pWnd);
        pBar->setRange(0, 100);
        pBar->setValue(0);
        pBar->setTextVisible(false);
        return pBar;
    }
    case ECtlKind::kListView:
        return CreateListView(ctl, pWnd);
    }
    return nullptr;
}

Qt::FocusPolicy FocusPolicy(const CDlgControl& ctl) {
    switch (ctl.kind) {
    case ECtlKind::kLabel:
    case ECtlKind::kIcon:
    case ECtlKind::kGroupFrame:
    case ECtlKind::kProgress:
    case ECtlKind::kSpin:
        return Qt::NoFocus;
    default:
        return ctl.bTabStop ? Qt::StrongFocus : Qt::ClickFocus;
    }
}
} // namespace

QWidget* CreateControl(const CDlgControl& ctl, const CDialogUnits& units, QWidget* pWnd,
                       QWidget* pPrevious) {
    QWidget* pWidget = CreateWidget(ctl, pWnd, pPrevious);
    pWidget->setFocusPolicy(FocusPolicy(ctl));
    QRect rect = units.ToPixels(ctl.x, ctl.y, ctl.cx, ctl.ShownHeight());
    if (ctl.kind == ECtlKind::kIcon) // an icon control takes the icon's size
        rect.setSize(rect.size().expandedTo(QSize(32, 32)));
    if (ctl.kind == ECtlKind::kLabel || ctl.kind == ECtlKind::kCheckBox ||
        ctl.kind == ECtlKind::kRadio) {
        // The platform's font may be wider than the one the template was laid
        // out for: a text control grows to the right to show its whole text,
        // never past the window's edge.
        const int nNeeded = pWidget->sizeHint().width();
        if (nNeeded > rect.width())
            rect.setWidth(std::min(nNeeded, pWnd->width() - rect.left()));
    }
    pWidget->setGeometry(rect);
    pWidget->setProperty("ctlId", ctl.nId);
    return pWidget;
}
