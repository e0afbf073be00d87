// SPDX-License-Identifier: Apache-2.0
#include "framework/version_text.h"

#ifndef OSTREL_VERSION
#error "OSTREL_VERSION must give the program's version"
#endif

const char* VersionText() {
    return "ostrel " OSTREL_VERSION;
}
