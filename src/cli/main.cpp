// ostrel-cli: works with Ostrel list files without a window.
#include <cstdio>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::fputs("usage: ostrel-cli COMMAND ...\n", stderr);
    return 2;
}
