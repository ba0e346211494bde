// The service's files in the Windows directory: the text log "ZELKSrv.log", the event file
// "ZELKSrv.evt" (the tray agent's only source of events) and the installed program "ZELKSrv.exe".
//
// Recording an event writes its line to the debugger output, appends the line with CR LF to the log and
// appends the 91-byte record to the event file, with WOW64 redirection turned off around the file work.
// Both files are opened, with no sharing, for each event and closed right after. When the tray agent
// has the file open at that moment the open meets a sharing violation; it is tried again in short
// pauses for about a second before that file misses the event. Any other failure to open skips the file
// at once, and the other file is still tried.
#pragma once

#include <stdint.h>

#include "common/zelk_records.h"
#include "platform/windir/windows_directory.h"

enum ServiceFile : uint32_t {
    SERVICE_FILE_LOG = 0,     // "ZELKSrv.log"
    SERVICE_FILE_EVENTS = 1,  // "ZELKSrv.evt"
    SERVICE_FILE_PROGRAM = 2, // "ZELKSrv.exe"
};

// An open that meets a sharing violation is tried again after each pause, until the pauses add up to
// the limit.
#define EVENT_FILE_RETRY_PAUSE_MS 50u
#define EVENT_FILE_RETRY_LIMIT_MS 1000u

// Fills `path` (WINDOWS_PATH_UNITS units) with "<windowsDirectory>\<file name>". False, with an empty
// path, when the directory is empty or the name would not fit.
bool BuildServiceFilePath(const wchar_t* windowsDirectory, ServiceFile file, wchar_t* path);

// Records one event: `line` (non-empty, at most 2047 characters are used) and `record` as stored.
// An empty line records nothing.
void RecordEvent(const wchar_t* windowsDirectory, const char* line, const GuardEvent& record);

// Deletes the event file in the Windows directory; a missing file or a failed deletion is ignored.
void DeleteEventFile(const wchar_t* windowsDirectory);
