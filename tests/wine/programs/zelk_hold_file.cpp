// "zelk_hold_file FILE READY RELEASE": opens FILE for reading without delete sharing, creates READY once the
// file is held, and keeps it open until RELEASE appears (at most a minute). Exit 1 when FILE cannot be
// opened.
#include <windows.h>

namespace {

const int HOLD_POLLS = 3000;
const DWORD HOLD_POLL_MILLISECONDS = 20;

bool Exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        return 2;
    }
    HANDLE held = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return 1;
    }
    HANDLE ready =
        CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) {
        CloseHandle(ready);
    }
    for (int poll = 0; poll < HOLD_POLLS && !Exists(argv[3]); ++poll) {
        Sleep(HOLD_POLL_MILLISECONDS);
    }
    CloseHandle(held);
    return 0;
}
