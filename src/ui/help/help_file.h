// Where the help file is: beside the program, named after it.
#pragma once

#include <string>

// The program's path with its extension, from the last '.' of the file name,
// replaced by ".HLP", or with ".HLP" appended when the name has none. A '.' in
// a folder name is no extension.
std::string HelpFilePath(const std::string& strProgramPath);

// The help file of this process.
std::string ProgramHelpFilePath();
