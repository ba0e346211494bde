// The Windows directory as the shell reports the Windows special folder.
#include "platform/windir/windows_directory.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include "platform/wow64/wow64_redirection.h"

static_assert(WINDOWS_PATH_UNITS == MAX_PATH, "the shell fills MAX_PATH units");

bool FindWindowsDirectory(wchar_t* directory) {
    directory[0] = L'\0';
    Wow64RedirectionOffScope redirectionOff;
    LPITEMIDLIST itemList = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &itemList)) || itemList == nullptr) {
        return false;
    }
    const bool found = SHGetPathFromIDListW(itemList, directory) != FALSE;
    CoTaskMemFree(itemList);
    if (!found) {
        directory[0] = L'\0';
    }
    return found && directory[0] != L'\0';
}
