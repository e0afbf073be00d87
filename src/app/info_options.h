// SPDX-License-Identifier: Apache-2.0
// The two questions a Linux program answers without opening a window:
// "--help" and "--version", each only as the program's only argument. Any
// other arguments name a list file.
#pragma once

#include <cstdio>

// When argv holds exactly one argument and it is "--help" or "--version",
// prints the usage or the version to `out` and gives the exit status: 0, or 1
// when the text could not be written. Gives -1 for any other arguments.
int AnswerInfoOption(int argc, const char* const* argv, std::FILE* out);
