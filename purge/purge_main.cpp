// ZelkPurge.exe: deletes the protection service's program, event file and log from the Windows directory.
// No window, no console, no command line; every failure is silent and the exit code is always 0.
#include <windows.h>

#include "platform/windir/windows_directory.h"
#include "platform/wow64/wow64_redirection.h"
#include "service/files/event_files.h"

namespace {

// The order in which the files go; each deletion is tried whatever became of the one before.
const ServiceFile PURGE_FILES[] = {SERVICE_FILE_PROGRAM, SERVICE_FILE_EVENTS, SERVICE_FILE_LOG};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Wow64RedirectionGuard redirection;
    Wow64RedirectionTurnOff(&redirection);
    wchar_t windowsDir[WINDOWS_PATH_UNITS];
    // Without the folder there is nothing to delete: a path built on an empty one would point elsewhere.
    if (FindWindowsDirectory(windowsDir)) {
        for (const ServiceFile file : PURGE_FILES) {
            wchar_t path[WINDOWS_PATH_UNITS];
            if (BuildServiceFilePath(windowsDir, file, path)) {
                DeleteFileW(path);
            }
        }
    }
    Wow64RedirectionRestore(&redirection);
    return 0;
}
