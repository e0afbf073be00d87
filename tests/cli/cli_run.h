// SPDX-License-Identifier: Apache-2.0
// Runs the built ostrel-cli as a separate process and captures what it
// printed and its exit status.
#pragma once

#include "support/child_process.h"

inline SChildResult RunCli(const std::vector<std::string>& args, SChildOptions options = {}) {
    return RunChild(OSTREL_CLI_PATH, args, std::move(options));
}
