// SPDX-License-Identifier: Apache-2.0
#include "app/monitor_app.h"

#include "check/socket_layer.h"
#include "ui/monitor_dlg.h"
#include "ui/toolkit/message_box.h"

namespace {
constexpr const char* kSocketsFailedMessage = "Windows sockets initialization failed.";
}

std::string JoinCommandLineTail(const std::vector<std::string>& args) {
    std::string strTail;
    for (const std::string& strArg : args) {
        if (&strArg != &args.front())
            strTail += ' ';
        strTail += strArg;
    }
    return strTail;
}

CMonitorApp::CMonitorApp(const std::vector<std::string>& args)
    : m_strCommandLineTail(JoinCommandLineTail(args)) {}

int CMonitorApp::InitInstance() {
    if (!SocketLayerAvailable()) {
        ShowMessageBox(nullptr, kSocketsFailedMessage, EMsgIcon::kExclamation);
        return 0;
    }
    CMonitorDlg dlg(nullptr, m_strCommandLineTail);
    dlg.DoModal();
    return 0;
}
