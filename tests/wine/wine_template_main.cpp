// The CTest fixture around the Wine tests: "build" makes this run's template prefix, "stop" ends what runs in
// it.
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/wine/wine_harness.h"

int main(int argc, char** argv) {
    if (!WineIsAvailable()) {
        std::puts("wine64 is not installed: the Wine tests will be skipped");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "build") == 0) {
        std::string error;
        if (!WineBuildTemplate(&error)) {
            std::fprintf(stderr, "template prefix: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "stop") == 0) {
        WineStopTemplate();
        return 0;
    }
    std::fprintf(stderr, "usage: %s build|stop\n", argv[0]);
    return 2;
}
