// SPDX-License-Identifier: Apache-2.0
#include "ui/help/help_viewer.h"

#include "ui/toolkit/center_window.h"
#include "ui/toolkit/program_icon.h"
#include "ui/toolkit/text.h"

#include <QFile>
#include <QPointer>
#include <QUrl>
#include <vector>

namespace {
int g_nRefusals = 0;

std::vector<QPointer<CHelpViewer>>& Viewers() {
    static std::vector<QPointer<CHelpViewer>> viewers;
    return viewers;
}

bool IsReadable(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}
} // namespace

CHelpRefusal::CHelpRefusal() {
    ++g_nRefusals;
}

CHelpRefusal::~CHelpRefusal() {
    --g_nRefusals;
}

// A window of its owner's: it stays in front of it, and the owner's modal run
// does not block it.
CHelpViewer::CHelpViewer(QWidget* pOwner, const QString& path)
    : QTextBrowser(pOwner), m_pOwner(pOwner) {
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Ostrel Help"));
    setWindowIcon(ProgramIcon());
    setOpenExternalLinks(false);
    resize(640, 560);
    // The file's extension says nothing of its type: it holds HTML.
    setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
}

CHelpViewer* FindHelpViewer(QWidget* pOwner) {
    for (const QPointer<CHelpViewer>& pViewer : Viewers())
        if (pViewer && pViewer->Owner() == pOwner)
            return pViewer;
    return nullptr;
}

bool WinHelp(QWidget* pOwner, const std::string& strHelpFile, EHelpCommand command) {
    std::erase_if(Viewers(), [](const QPointer<CHelpViewer>& p) { return p.isNull(); });
    CHelpViewer* pViewer = FindHelpViewer(pOwner);
    if (command == kHelpQuit) {
        if (pViewer)
            pViewer->close();
        return true;
    }
    const QString path = ToQString(strHelpFile);
    if (g_nRefusals > 0 || !IsReadable(path))
        return false;
    if (!pViewer || pViewer->source() != QUrl::fromLocalFile(path)) {
        if (pViewer)
            pViewer->close();
        pViewer = new CHelpViewer(pOwner, path);
        Viewers().emplace_back(pViewer);
        CenterWindow(pViewer, pOwner);
    } else {
        pViewer->home(); // back to the contents
    }
    pViewer->show();
    pViewer->raise();
    pViewer->activateWindow();
    return true;
}
