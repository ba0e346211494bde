// The agent's file work in the Windows directory, each call with WOW64 redirection turned off around it.
#pragma once

#include <cstddef>

#include "agent/dialog/agent_ui.h"

// Opens `path` for reading with writers shut out and reads its whole records in one read; a read that
// delivers fewer bytes leaves only what arrived. False when nothing could be read.
bool ReadWholeRecords(const wchar_t* path, size_t recordSize, FileBytes& bytes);
// Whether the attributes of `path` can be read (the file exists and is in reach).
bool FileAttributesReadable(const wchar_t* path);
// The shell's "open" verb on `path`, in a normal window; the result is not examined.
void ShellOpenFile(const wchar_t* path);
