// SPDX-License-Identifier: Apache-2.0
// Peak memory of a loaded list: `list_file_peak_memory FILE N` writes a list
// of N targets to FILE; `list_file_peak_memory FILE` loads FILE and prints the
// process's peak resident size (getrusage) with the list still held.
#include "storage/list_file.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc == 3) {
        CItemList list;
        for (long i = 0, n = std::atol(argv[2]); i < n; ++i) {
            auto* item = new CItem;
            item->m_strAddress = "10." + std::to_string(i >> 16 & 255) + "." +
                                 std::to_string(i >> 8 & 255) + "." + std::to_string(i & 255);
            item->m_nPort = static_cast<int32_t>(i % 65536);
            list.AddTail(item);
        }
        WriteListFile(argv[1], list);
        return 0;
    }
    if (argc != 2) {
        std::fputs("usage: list_file_peak_memory FILE [N]\n", stderr);
        return 2;
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    std::unique_ptr<CItemList> list = ReadListFile(argv[1]);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    std::printf("targets: %zu\npeak resident before loading: %.1f MB\n"
                "peak resident with the list loaded: %.1f MB\n",
                list ? list->GetCount() : 0, before.ru_maxrss / 1024.0, after.ru_maxrss / 1024.0);
    return 0;
}
