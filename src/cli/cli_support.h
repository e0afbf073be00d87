// SPDX-License-Identifier: Apache-2.0
// What the ostrel-cli commands share: the command table entry, argument
// parsing, loading and saving a list with the error reports and exit codes.
#pragma once

#include "framework/terminal_text.h"
#include "model/item_list.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CListFileUpdate;

// Exit codes: success, a usage or file error, a list file format error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFormat = 3;

// One command: its name, its usage text (shown by --help and on a usage
// error) and the function that runs it on the arguments after its name.
struct CCliCommand {
    const char* m_lpszName;
    const char* m_lpszUsage;
    int (*m_pfnRun)(const CCliCommand& command, const std::vector<std::string>& args);
};

// The options and operands of one command line. Options are "--name" or
// "--name VALUE" (also "--name=VALUE"); "--" ends them; "-" is an operand.
class CCliArgs {
public:
    // Parses `args` knowing which options exist. Returns false, with the
    // reason in `error`, for an unknown option or a missing value.
    bool Parse(const std::vector<std::string>& args, std::initializer_list<const char*> flags,
               std::initializer_list<const char*> valued, std::string& error);

    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    // The value of the last occurrence of a valued option.
    std::optional<std::string> Value(const std::string& name) const;
    // The values of every occurrence of a valued option, in order.
    std::vector<std::string> Values(const std::string& name) const;
    const std::vector<std::string>& Operands() const { return m_operands; }

private:
    std::map<std::string, std::string> m_values;
    std::map<std::string, std::vector<std::string>> m_allValues;
    std::vector<std::string> m_operands;
};

// Starts a command: prints the usage to stdout for --help, else parses
// `args` into `parsed` and checks that there are `nOperands` operands (named
// by `operandsWhat` in the error). Returns the exit code to end with, or
// nullopt to go on.
std::optional<int> StartCommand(const CCliCommand& command, const std::vector<std::string>& args,
                                std::initializer_list<const char*> flags,
                                std::initializer_list<const char*> valued, size_t nOperands,
                                const char* operandsWhat, CCliArgs& parsed);
// Writes `line` and a line end to `stream`.
void PrintLine(std::FILE* stream, const std::string& line);
// Prints "ostrel-cli: WHY" and the command's usage to stderr; returns kExitUsage.
int UsageError(const CCliCommand& command, const std::string& why);
// Prints `message` as one line to stderr; returns kExitUsage.
int InputError(const std::string& message);

// Reads an integer option value by the rules of the window's integer fields
// and, when `range` is given, checks it. Prints the field's message and
// returns nullopt on failure.
std::optional<int32_t> ReadIntegerOption(const std::string& text,
                                         std::optional<std::pair<int32_t, int32_t>> range);

// Loads the list file at `path` into `out` (null when the file holds no
// list). Returns kExitOk, or prints the error to stderr and returns
// kExitUsage for a file error or kExitFormat for a malformed file.
int LoadListForCli(const std::string& path, std::unique_ptr<CItemList>& out);
// As LoadListForCli, but a file that holds no list gives the default list.
int LoadListOrDefaultForCli(const std::string& path, std::unique_ptr<CItemList>& out);
// Saves `list` to `path`. Returns kExitOk, or prints the error and returns kExitUsage.
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
