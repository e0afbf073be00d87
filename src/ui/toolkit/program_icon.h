// SPDX-License-Identifier: Apache-2.0
// The program icon (icon resource 128): a 32 by 32 and a 16 by 16 image.
#pragma once

#include <QIcon>

inline constexpr int kIdProgramIcon = 128;

QIcon ProgramIcon();
