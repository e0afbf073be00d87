// SPDX-License-Identifier: Apache-2.0
// The texts that report a failed load or save of a list file, shared by the
// main window and ostrel-cli.
#pragma once

#include <string>

// Shown first for a malformed list file; the error's own message follows.
inline constexpr const char* kLoadCorruptMessage = "Error: Load failure.  File may be corrupted.";

// "Loading PATH failed (returned a 0xCODE)." for a file that cannot be read.
std::string LoadFailedMessage(const std::string& path, long lOsError);
// "Opening PATH failed (returned a 0xCODE)." for a file that cannot be saved.
std::string SaveFailedMessage(const std::string& path, long lOsError);
// "File Open Error: PATH" for a list that cannot be expressed in a list file.
std::string SaveFormatFailedMessage(const std::string& path);
