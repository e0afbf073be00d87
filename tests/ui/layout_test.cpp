// SPDX-License-Identifier: Apache-2.0
// Every window's template: controls inside the dialog and apart from each
// other, widgets placed where their dialog units say, and a screenshot of
// each window rendered offscreen into build/screenshots/.
#include "model/item.h"
#include "ui/about_dlg.h"
#include "ui/item_dlg.h"
#include "ui/progress_dlg.h"
#include "ui/templates/templates.h"
#include "ui/toolkit/list_view.h"
#include "ui_test_util.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace {
const CDialogTemplate* const kTemplates[] = {&AboutDlgTemplate(), &MonitorDlgTemplate(),
                                             &ItemDlgTemplate(), &ProgressDlgTemplate()};

QRect UnitRect(const CDlgControl& c) {
    return QRect(c.x, c.y, c.cx, c.ShownHeight());
}

// Neighbours in the template may share one unit by design: a spin against
// its field, the "..." button against a read-only field.
bool SharesOneUnitEdge(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.width() <= 1 || common.height() <= 1;
}

void SaveScreenshot(QWidget* pWnd, const QString& name) {
    QDir().mkpath(OSTREL_SCREENSHOT_DIR);
    const QString path = QDir(OSTREL_SCREENSHOT_DIR).filePath(name + ".png");
    EXPECT_TRUE(pWnd->grab().save(path)) << path.toStdString();
}

// The widgets of a built window against its template: each where its units
// put it (text controls may grow to the right to show their text), inside the
// window, apart from each other as the template has them, and no text clipped.
void ExpectBuiltAsTemplate(CDialog& dlg) {
    const CDialogTemplate& tpl = dlg.Template();
    const QRect client(QPoint(0, 0), dlg.GetWindow()->size());
    const QList<QWidget*> widgets =
        dlg.GetWindow()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(widgets.size(), static_cast<qsizetype>(tpl.controls.size()));
    for (size_t i = 0; i < tpl.controls.size(); ++i) {
        const CDlgControl& c = tpl.controls[i];
        const QRect units = dlg.Units().ToPixels(c.x, c.y, c.cx, c.ShownHeight());
        const QRect actual = widgets[static_cast<qsizetype>(i)]->geometry();
        EXPECT_EQ(actual.topLeft(), units.topLeft()) << "dialog " << tpl.nId << " control " << i;
        EXPECT_EQ(actual.height(),
                  c.kind == ECtlKind::kIcon ? std::max(units.height(), 32) : units.height());
        EXPECT_GE(actual.width(), units.width());
        if (c.kind != ECtlKind::kLabel && c.kind != ECtlKind::kCheckBox &&
            c.kind != ECtlKind::kRadio && c.kind != ECtlKind::kIcon) {
            EXPECT_EQ(actual.width(), units.width());
        }
        EXPECT_TRUE(client.contains(actual)) << "dialog " << tpl.nId << " control " << i;
        // A control that grew must not run into one the template keeps apart.
        for (size_t j = 0; j < tpl.controls.size(); ++j) {
            const QRect other = widgets[static_cast<qsizetype>(j)]->geometry();
            if (j == i || !actual.intersects(other) || actual.width() == units.width())
                continue;
            EXPECT_TRUE(tpl.controls[j].kind == ECtlKind::kGroupFrame && other.contains(actual))
                << "dialog " << tpl.nId << ": control " << i << " grew into control " << j;
        }
    }
    for (QWidget* pChild : widgets) {
        if (auto* pLabel = qobject_cast<QLabel*>(pChild); pLabel && !pLabel->text().isEmpty()) {
            EXPECT_LE(pLabel->sizeHint().width(), pLabel->width())
                << "label clipped: " << pLabel->text().toStdString();
        }
        if (auto* pButton = qobject_cast<QAbstractButton*>(pChild);
            pButton && !pButton->text().isEmpty()) {
            EXPECT_LE(
                pButton->fontMetrics().horizontalAdvance(QString(pButton->text()).remove('&')),
                pButton->width())
                << "button text clipped: " << pButton->text().toStdString();
            if (!qobject_cast<QPushButton*>(pButton)) {
                EXPECT_LE(pButton->sizeHint().width(), pButton->width())
                    << "text clipped: " << pButton->text().toStdString();
            }
        }
    }
}
} // namespace

TEST(Layout, ControlsLieInsideTheirDialogAndApartFromEachOther) {
    for (const CDialogTemplate* pTpl : kTemplates) {
        const QRect dialog(0, 0, pTpl->cx, pTpl->cy);
        const auto& controls = pTpl->controls;
        for (size_t i = 0; i < controls.size(); ++i) {
            const QRect a = UnitRect(controls[i]);
            EXPECT_TRUE(dialog.contains(a)) << "dialog " << pTpl->nId << " control " << i;
            for (size_t j = i + 1; j < controls.size(); ++j) {
                const QRect b = UnitRect(controls[j]);
                if (!a.intersects(b))
                    continue;
                const bool bFrameAround =
                    (controls[i].kind == ECtlKind::kGroupFrame && a.contains(b)) ||
                    (controls[j].kind == ECtlKind::kGroupFrame && b.contains(a));
                const bool bNeighbours = j == i + 1 && SharesOneUnitEdge(a, b);
                EXPECT_TRUE(bFrameAround || bNeighbours)
                    << "dialog " << pTpl->nId << ": controls " << i << " and " << j << " overlap";
            }
        }
    }
}

TEST(Layout, ScreenshotsOfEveryWindow) {
    CAboutDlg about;
    RunModal(about, [&] {
        ExpectBuiltAsTemplate(about);
        SaveScreenshot(about.GetWindow(), "about_dlg_100");
        about.EndDialog(kIdOk);
    });

    CItem item;
    item.m_nMode = kProbeTcp;
    item.m_strAddress = "mail.example.com";
    item.m_nPort = 25;
    CItemDlg editor(&item, nullptr);
    RunModal(editor, [&] {
        ExpectBuiltAsTemplate(editor);
        SaveScreenshot(editor.GetWindow(), "item_dlg_129");
        editor.EndDialog(kIdCancel);
    });

    CProgressDlg progress(nullptr);
    ASSERT_TRUE(progress.Create());
    for (int i = 0; i < 4; ++i)
        progress.TimerFired(CProgressDlg::kIdStepTimer);
    ExpectBuiltAsTemplate(progress);
    SaveScreenshot(progress.GetWindow(), "progress_dlg_132");
    progress.DestroyWindow();

    CDialog main(MonitorDlgTemplate(), nullptr);
    ASSERT_TRUE(main.Create());
    CListView list(main.Item<QTreeWidget>(1019));
    list.InsertColumn(0, "IP Address", 245);
    list.InsertColumn(1, "Port", 40);
    list.InsertColumn(2, "OK", 40);
    const char* const rows[][3] = {{"192.0.2.10", "ICMP", "Yes"}, {"www.example.com", "80", "No"}};
    for (int r = 0; r < 2; ++r) {
        list.InsertItem(r, "");
        for (int c = 0; c < 3; ++c)
            list.SetItemText(r, c, rows[r][c]);
    }
    main.GetWindow()->show();
    ExpectBuiltAsTemplate(main);
    SaveScreenshot(main.GetWindow(), "monitor_dlg_102");
}
