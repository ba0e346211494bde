// The host stand-in for the Windows directory: a host directory given at start. Its bytes become the
// path's units one for one, and the host file stand-in turns them back (platform/exclusive_file).
#include "platform/windir/windows_directory.h"
#include "platform/windir/windows_directory_host_control.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex g_Lock;
wchar_t g_Directory[WINDOWS_PATH_UNITS] = {};

} // namespace

void WindowsDirectoryHostUse(const char* directory) {
    std::lock_guard<std::mutex> hold(g_Lock);
    const size_t length = std::strlen(directory);
    g_Directory[0] = L'\0';
    if (length >= WINDOWS_PATH_UNITS) {
        return;
    }
    for (size_t i = 0; i <= length; ++i) {
        g_Directory[i] = static_cast<wchar_t>(static_cast<unsigned char>(directory[i]));
    }
}

bool FindWindowsDirectory(wchar_t* directory) {
    std::lock_guard<std::mutex> hold(g_Lock);
    std::memcpy(directory, g_Directory, sizeof(g_Directory));
    return directory[0] != L'\0';
}
