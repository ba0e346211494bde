// What the clean-up tool deletes: the protection service's program, event file and log in the Windows
// directory. Portable, so that the paths are also checked on the host.
#pragma once

#include <stddef.h>

// The service's files, in the order they are deleted.
const size_t PURGE_FILE_COUNT = 3;
// A path as the deletion takes it, in UTF-16 units with the terminator.
const size_t PURGE_PATH_UNITS = 260;

// The path "<windowsDir>\<name of file `index`>" into `path` (PURGE_PATH_UNITS units). False, and no
// path, when it would not fit: a cut-off path could name some other file.
bool PurgeFilePath(const char16_t* windowsDir, size_t index, char16_t* path);
