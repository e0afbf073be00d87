// SPDX-License-Identifier: Apache-2.0
#include "cli/cli_support.h"

#include "check/host_address.h"
#include "framework/exception.h"
#include "storage/list_file.h"

#include <cstdio>

void PrintLine(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
}

int CommandError(const SCommandSpec& command, const std::string& what, const std::string& why) {
    PrintLine(stderr, VisibleSystemText("ostrel-cli " + std::string(command.pszName) + ": " +
                                        (what.empty() ? "" : what + ": ") + why));
    return kExitUsage;
}

int PrintFileError(const std::string& path, const std::string& why) {
    PrintLine(stderr, "ostrel-cli: " + VisibleSystemText(path) + ": " + why);
    return kExitUsage;
}

namespace {
// What is wrong with a malformed list file.
std::string MalformedWhy(int nCause) {
    const char* pszCause = nCause == CArchiveException::endOfFile   ? " (cut short)"
                           : nCause == CArchiveException::badIndex  ? " (bad format)"
                           : nCause == CArchiveException::badClass  ? " (unexpected object)"
                           : nCause == CArchiveException::badSchema ? " (incorrect schema)"
                                                                    : "";
    return std::string("malformed list file") + pszCause;
}

// Runs `read` and reports its failure as a failed load of `path`.
template <class Read>
int LoadForCli(const std::string& path, std::unique_ptr<CItemList>& out, Read read) {
    try {
        out = read();
        return kExitOk;
    } catch (const CFileException& e) {
        return PrintFileError(path, e.Reason());
    } catch (const CArchiveException& e) {
        PrintFileError(path, MalformedWhy(e.m_cause));
        return kExitFormat;
    }
}

// Runs `write` and reports its failure as a failed save of `path`.
template <class Write> int SaveForCli(const std::string& path, Write write) {
    try {
        write();
        return kExitOk;
    } catch (const CFileException& e) {
        return PrintFileError(path, e.Reason());
    } catch (const CArchiveException&) {
        return PrintFileError(path, "the list cannot be stored in a list file");
    }
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
