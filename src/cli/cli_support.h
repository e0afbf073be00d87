// SPDX-License-Identifier: Apache-2.0
// What the ostrel-cli commands share: the exit codes, loading and saving a
// list with the error reports, and targets as written on the command line.
#pragma once

#include "framework/command_line.h"
#include "framework/terminal_text.h"
#include "model/item_list.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

class CListFileUpdate;

// Exit codes: success, a usage or file error, a list file format error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFormat = 3;

// One command of ostrel-cli: its table, and the function that runs it on a
// command line read by that table.
struct CCliCommand : SCommandSpec {
    int (*m_pfnRun)(const CCliCommand& command, const CCommandLine& args);
};

// "ostrel-cli COMMAND: WHAT: WHY" (without "WHAT: " when `what` is empty) on
// standard error, one line; returns kExitUsage.
int CommandError(const SCommandSpec& command, const std::string& what, const std::string& why);

// Writes `line` and a line end to `stream`.
void PrintLine(std::FILE* stream, const std::string& line);
// Prints "ostrel-cli: PATH: WHY" to stderr; returns kExitUsage.
int PrintFileError(const std::string& path, const std::string& why);

// Loads the list file at `path` into `out` (null when the file holds no
// list). Returns kExitOk, or prints "ostrel-cli: PATH: WHY" to stderr and
// returns kExitUsage for a file error or kExitFormat for a malformed file.
int LoadListForCli(const std::string& path, std::unique_ptr<CItemList>& out);
// As LoadListForCli, but a file that holds no list gives the default list.
int LoadListOrDefaultForCli(const std::string& path, std::unique_ptr<CItemList>& out);
// Saves `list` to `path`. Returns kExitOk, or prints "ostrel-cli: PATH: WHY"
// and returns kExitUsage.
int SaveListForCli(const std::string& path, const CItemList& list);
// The same for a list that is read, changed and saved: the file stays locked
// from this load to the save that follows, so that two changes made at the
// same time cannot lose one.
int LoadListOrDefaultForCli(CListFileUpdate& file, std::unique_ptr<CItemList>& out);
int SaveListForCli(CListFileUpdate& file, const CItemList& list);

// A target written on the command line: "[ADDRESS]:PORT" or "[ADDRESS]" for
// an IPv6 address; an IPv6 address as it stands, whose colons separate no
// port; else "ADDRESS:PORT", split at the last colon, or "ADDRESS". The
// address comes without brackets; the port is the text after the colon,
// nullopt without one. Nullopt for brackets around anything but an IPv6
// address, or followed by anything but ":PORT".
struct STargetText {
    std::string strAddress;
    std::optional<std::string> port;
};
std::optional<STargetText> SplitTargetText(const std::string& text);
