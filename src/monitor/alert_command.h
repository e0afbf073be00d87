// SPDX-License-Identifier: Apache-2.0
// The command alert: a command line started through the shell as a process
// of its own, not waited for.
#pragma once

#include <optional>
#include <string>
#include <vector>

// What the command finds beside its command line.
struct SAlertEnvironment {
    // "NAME=value" each, set in place of any variable of that name.
    std::vector<std::string> variables;
    // Names of variables of ours that the command does not get.
    std::vector<std::string> removed;
    // When set: written to a file of its own, open to this user alone, under
    // $TMPDIR (else /tmp), whose path goes in OSTREL_DIGEST_FILE; the file is
    // removed once the command's shell has ended.
    std::optional<std::string> fileText;
};

// Starts `/bin/sh -c strCommandLine` detached: the shell is the child of a
// short-lived intermediate process, so it never becomes this process's zombie,
// and it runs in a session of its own with standard input from /dev/null, no
// other descriptor of ours than 0, 1 and 2, and no capability: the ambient
// and inheritable sets are cleared, and the bounding set as far as this
// process may. Returns once the shell has been started; false, with nothing
// left behind, when it could not be (no process, or the system refused to run
// the shell). The command's own outcome is not looked at. The shell gets this
// process's environment with `environment` laid over it.
bool StartAlertCommand(const std::string& strCommandLine,
                       const SAlertEnvironment& environment = {});
