// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the list file reader. Any input must either read as a list
// (or as no list) or raise a format error; a list that was read must write
// out and read back to the same bytes.
#include "framework/exception.h"
#include "framework/mem_file.h"
#include "storage/list_file.h"

#include <cstdlib>
#include <vector>

namespace {
std::vector<uint8_t> Written(const CItemList& list) {
    CMemFile out;
    WriteList(out, list);
    return out.Data();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMemFile file(std::vector<uint8_t>(data, data + size), "/fuzz/list.osl");
    std::unique_ptr<CItemList> list;
    try {
        list = ReadList(file);
    } catch (const CArchiveException&) {
        return 0;
    }
    if (!list)
        return 0;
    const std::vector<uint8_t> bytes = Written(*list);
    CMemFile again(bytes);
    std::unique_ptr<CItemList> reread = ReadList(again); // must not raise
    if (!reread || Written(*reread) != bytes)
        std::abort();
    return 0;
}
