// SPDX-License-Identifier: Apache-2.0
#include "cli/cli_support.h"

#include "check/host_address.h"
#include "framework/exception.h"
#include "framework/integer_text.h"
#include "storage/list_file.h"
#include "storage/list_file_messages.h"

#include <algorithm>
#include <cstdio>

namespace {
bool Contains(std::initializer_list<const char*> names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

} // namespace

void PrintLine(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
}

bool CCliArgs::Parse(const std::vector<std::string>& args, std::initializer_list<const char*> flags,
                     std::initializer_list<const char*> valued, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            m_operands.insert(m_operands.end(), args.begin() + static_cast<long>(i) + 1,
                              args.end());
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            m_operands.push_back(arg);
            continue;
        }
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        if (Contains(flags, name) && eq == std::string::npos) {
            m_values[name];
        } else if (Contains(valued, name)) {
            if (eq == std::string::npos && i + 1 == args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            m_values[name] = eq != std::string::npos ? arg.substr(eq + 1) : args[++i];
            m_allValues[name].push_back(m_values[name]);
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

std::optional<std::string> CCliArgs::Value(const std::string& name) const {
    auto it = m_values.find(name);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

std::vector<std::string> CCliArgs::Values(const std::string& name) const {
    auto it = m_allValues.find(name);
    return it == m_allValues.end() ? std::vector<std::string>{} : it->second;
}

std::optional<int> StartCommand(const CCliCommand& command, const std::vector<std::string>& args,
                                std::initializer_list<const char*> flags,
                                std::initializer_list<const char*> valued, size_t nOperands,
                                const char* operandsWhat, CCliArgs& parsed) {
    // Only before "--": after it, "--help" is an operand like any other.
    auto end = std::find(args.begin(), args.end(), "--");
    if (std::find(args.begin(), end, "--help") != end) {
        std::fputs(command.m_lpszUsage, stdout);
        return kExitOk;
    }
    std::string error;
    if (!parsed.Parse(args, flags, valued, error))
        return UsageError(command, error);
    if (parsed.Operands().size() != nOperands)
        return UsageError(command, std::string("expects ") + operandsWhat);
    return std::nullopt;
}

int UsageError(const CCliCommand& command, const std::string& why) {
    PrintLine(stderr, "ostrel-cli " + std::string(command.m_lpszName) + ": " + why);
    std::fputs(command.m_lpszUsage, stderr);
    return kExitUsage;
}

int InputError(const std::string& message) {
    PrintLine(stderr, message);
    return kExitUsage;
}

std::optional<int32_t> ReadIntegerOption(const std::string& text,
                                         std::optional<std::pair<int32_t, int32_t>> range) {
    std::optional<int32_t> value = ReadIntegerText(text);
    if (!value) {
        InputError(kEnterIntegerMessage);
        return std::nullopt;
    }
    if (range && (*value < range->first || *value > range->second)) {
        InputError(IntegerRangeMessage(range->first, range->second));
        return std::nullopt;
    }
    return value;
}

namespace {
// Runs `read` and reports its failure as a failed load of `path`.
template <class Read>
int LoadForCli(const std::string& path, std::unique_ptr<CItemList>& out, Read read) {
    try {
        out = read();
        return kExitOk;
    } catch (const CFileException& e) {
        PrintLine(stderr, LoadFailedMessage(path, e.m_lOsError));
        return kExitUsage;
    } catch (const CArchiveException& e) {
        PrintLine(stderr, kLoadCorruptMessage);
        PrintLine(stderr, e.GetErrorMessage());
        return kExitFormat;
    }
}

// Runs `write` and reports its failure as a failed save of `path`.
template <class Write> int SaveForCli(const std::string& path, Write write) {
    try {
        write();
        return kExitOk;
    } catch (const CFileException& e) {
        PrintLine(stderr, SaveFailedMessage(path, e.m_lOsError));
    } catch (const CArchiveException&) {
        PrintLine(stderr, SaveFormatFailedMessage(path));
    }
    return kExitUsage;
}

int OrDefault(int rc, std::unique_ptr<CItemList>& out) {
    if (rc == kExitOk && !out)
        out = std::make_unique<CItemList>();
    return rc;
}
} // namespace

int LoadListForCli(const std::string& path, std::unique_ptr<CItemList>& out) {
    return LoadForCli(path, out, [&] { return ReadListFile(path); });
}

int LoadListOrDefaultForCli(const std::string& path, std::unique_ptr<CItemList>& out) {
    return OrDefault(LoadListForCli(path, out), out);
}

int LoadListOrDefaultForCli(CListFileUpdate& file, std::unique_ptr<CItemList>& out) {
    return OrDefault(LoadForCli(file.Path(), out, [&] { return file.Read(); }), out);
}

int SaveListForCli(const std::string& path, const CItemList& list) {
    return SaveForCli(path, [&] { WriteListFile(path, list); });
}

int SaveListForCli(CListFileUpdate& file, const CItemList& list) {
    return SaveForCli(file.Path(), [&] { file.Write(list); });
}

std::optional<STargetText> SplitTargetText(const std::string& text) {
    if (text.starts_with('[')) {
        const size_t nClose = text.find(']');
        const std::string address = text.substr(1, nClose - 1);
        if (nClose == std::string::npos || !IsIpv6Literal(address))
            return std::nullopt;
        if (nClose + 1 == text.size())
            return STargetText{address, std::nullopt};
        if (text[nClose + 1] != ':')
            return std::nullopt;
        return STargetText{address, text.substr(nClose + 2)};
    }
    const size_t nColon = text.rfind(':');
    if (nColon == std::string::npos || IsIpv6Literal(text))
        return STargetText{text, std::nullopt};
    return STargetText{text.substr(0, nColon), text.substr(nColon + 1)};
}
