// SPDX-License-Identifier: Apache-2.0
// Where the help file is: beside the program, named after it, in a build tree;
// under the install prefix's share/ostrel/ folder once installed.
#pragma once

#include <string>

// The program's path with its extension, from the last '.' of the file name,
// replaced by ".HLP", or with ".HLP" appended when the name has none. A '.' in
// a folder name is no extension.
std::string HelpFilePath(const std::string& strProgramPath);

// Where the installed program's help file is: the file HelpFilePath names,
// in the folder the build configured relative to the program's folder
// (bin/../share/ostrel/ for bin/ostrel). The folder part is kept unresolved,
// so a program reached through a linked folder still finds its prefix.
std::string InstalledHelpFilePath(const std::string& strProgramPath);

// The help file of the program at strProgramPath: the one beside it when
// that is readable, else the installed one when that is, else (neither
// there) the one beside it.
std::string LocateHelpFile(const std::string& strProgramPath);

// The help file of this process.
std::string ProgramHelpFilePath();
