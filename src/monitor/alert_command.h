// The command alert: a command line started through the shell as a process
// of its own, not waited for.
#pragma once

#include <string>
#include <vector>

// Starts `/bin/sh -c strCommandLine` detached: the shell is the child of a
// short-lived intermediate process, so it never becomes this process's zombie,
// and it runs in a session of its own with standard input from /dev/null and
// no other descriptor of ours. Returns once the shell has been started; false
// when no process could be created. The command's own outcome is not looked at.
// The shell gets this process's environment with each "NAME=value" of
// `extraEnvironment` in place of any variable of that name.
bool StartAlertCommand(const std::string& strCommandLine,
                       const std::vector<std::string>& extraEnvironment = {});
