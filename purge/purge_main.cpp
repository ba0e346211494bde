// ZelkPurge.exe: deletes the protection service's program, event file and log from the Windows directory.
// No window, no console, no command line; every failure is silent and the exit code is always 0.
#include <windows.h>

#include <shlobj.h>

#include "platform/win32/wow64_redirection.h"
#include "purge/purge_files.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 units pass to the system as they are");

namespace {

// The shell's Windows folder; false when the shell cannot name it.
bool FindWindowsDirectory(wchar_t* directory) {
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &items))) {
        return false;
    }
    const bool found = SHGetPathFromIDListW(items, directory) != FALSE;
    CoTaskMemFree(items);
    return found;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Wow64RedirectionGuard redirection;
    Wow64RedirectionTurnOff(&redirection);
    wchar_t windowsDir[MAX_PATH];
    // Without the folder there is no path to delete: a path from an empty folder would point elsewhere.
    if (FindWindowsDirectory(windowsDir)) {
        for (size_t index = 0; index < PURGE_FILE_COUNT; ++index) {
            wchar_t path[PURGE_PATH_UNITS];
            if (PurgeFilePath(reinterpret_cast<const char16_t*>(windowsDir), index,
                              reinterpret_cast<char16_t*>(path))) {
                DeleteFileW(path);
            }
        }
    }
    Wow64RedirectionRestore(&redirection);
    return 0;
}
