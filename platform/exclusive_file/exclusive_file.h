// Files in the Windows directory opened without sharing: while one is open here, no other process can
// open it, and while another process holds it open, opening it here fails with a sharing violation.
//
// On Windows these are CreateFileW handles; the host stand-in opens host files and can be told to fail
// opens and keeps the pauses instead of sleeping (exclusive_file_host_control.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

enum ExclusiveFileOpenStatus : uint32_t {
    EXCLUSIVE_FILE_OPENED = 0,
    EXCLUSIVE_FILE_SHARING_VIOLATION = 1, // another process has it open; worth another try shortly
    EXCLUSIVE_FILE_OPEN_FAILED = 2,       // any other reason; another try will not help
};

struct ExclusiveFile {
    intptr_t Handle; // meaningful only after a successful open
};

// Opens `path` for appending, creating it when missing, with no sharing.
ExclusiveFileOpenStatus ExclusiveFileOpenAppend(const wchar_t* path, ExclusiveFile* file);
// Appends `count` bytes at the end of the file in one write; a failed write is not reported.
void ExclusiveFileAppend(ExclusiveFile* file, const void* bytes, size_t count);
void ExclusiveFileClose(ExclusiveFile* file);
// Deletes `path`; false when it was missing or could not be deleted.
bool ExclusiveFileDelete(const wchar_t* path);
// Waits before another try at an open that met a sharing violation.
void ExclusiveFilePauseBeforeRetry(uint32_t milliseconds);
