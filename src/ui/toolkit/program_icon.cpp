// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/program_icon.h"

// The resources live in a static library: register them before first use.
static void InitResources() {
    Q_INIT_RESOURCE(ostrel_ui);
}

QIcon ProgramIcon() {
    static const bool bInit = (InitResources(), true);
    (void)bInit;
    QIcon icon;
    icon.addFile(QStringLiteral(":/ostrel/icons/ostrel-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/ostrel/icons/ostrel-16.png"), QSize(16, 16));
    return icon;
}
