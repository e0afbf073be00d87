// SPDX-License-Identifier: Apache-2.0
// Prints where the program at the path given would find its help file, by the
// window's own lookup; the package test runs it against an unpacked package.
#include "ui/help/help_file.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: help_lookup PROGRAM\n", stderr);
        return 2;
    }
    std::puts(LocateHelpFile(argv[1]).c_str());
    return 0;
}
