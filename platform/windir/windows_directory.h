// Where the Windows directory is: every file the user-mode programs touch lies there.
//
// The Win32 implementation asks the shell for the Windows special folder with redirection turned off;
// the host stand-in answers with a directory given at start (windows_directory_host_control.h).
#pragma once

#include <stddef.h>

// The longest path, terminator included, that the Windows directory and the names built on it may have.
#define WINDOWS_PATH_UNITS 260u

// Fills `directory` (WINDOWS_PATH_UNITS units) with the Windows directory, zero-terminated. False, with
// an empty path, when it cannot be found.
bool FindWindowsDirectory(wchar_t* directory);
