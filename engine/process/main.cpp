// Process entry: the version pre-scan, then start-up and the run loop.
#include "process/process.h"

#include <build_info.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    process_install_crash_handler();

    // The version switch wins wherever it stands and however many dashes it
    // has, before any window, log or file system exists.
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        while (*arg == '-') {
            arg++;
        }
        if (strcmp(arg, "version") == 0) {
            printf("%s %s\n", ORV_PRODUCT_NAME, ORV_VERSION);
            return 0;
        }
    }
    process_startup(argc, argv);
    process_run();
    return 0;
}
