// SPDX-License-Identifier: Apache-2.0
#include "storage/list_file_messages.h"

#include <cstdint>
#include <cstdio>

namespace {
// The code as a 32-bit value in lower-case hex without leading zeros, so that
// the -1 of a short write reads 0xffffffff.
std::string Hex(long lOsError) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx",
                  static_cast<unsigned long>(static_cast<uint32_t>(lOsError)));
    return text;
}
} // namespace

std::string LoadFailedMessage(const std::string& path, long lOsError) {
    return "Loading " + path + " failed (returned a " + Hex(lOsError) + ").";
}

std::string SaveFailedMessage(const std::string& path, long lOsError) {
    return "Opening " + path + " failed (returned a " + Hex(lOsError) + ").";
}

std::string SaveFormatFailedMessage(const std::string& path) {
    return "File Open Error: " + path;
}
