// SPDX-License-Identifier: Apache-2.0
// The commands of ostrel-cli, one per source file; main.cpp lists them.
#pragma once

#include "cli/cli_support.h"

extern const CCliCommand kShowCommand;
extern const CCliCommand kNewCommand;
extern const CCliCommand kSetCommand;
extern const CCliCommand kAddCommand;
extern const CCliCommand kRemoveCommand;
extern const CCliCommand kCheckCommand;
extern const CCliCommand kWatchCommand;
extern const CCliCommand kDoctorCommand;
extern const CCliCommand kReportCommand;
