#include "service/files/event_files.h"

#include <string.h>
#include <wchar.h>

#include "platform/debug_output/debug_output.h"
#include "platform/exclusive_file/exclusive_file.h"
#include "platform/wow64/wow64_redirection.h"
#include "service/files/event_line.h"

namespace {

const wchar_t* const SERVICE_FILE_NAMES[] = {L"ZELKSrv.log", L"ZELKSrv.evt", L"ZELKSrv.exe"};

// The agent holds the event file only while it reads it, so a sharing violation soon passes.
bool OpenForAppend(const wchar_t* path, ExclusiveFile* file) {
    uint32_t pausedMilliseconds = 0;
    for (;;) {
        const ExclusiveFileOpenStatus status = ExclusiveFileOpenAppend(path, file);
        if (status == EXCLUSIVE_FILE_OPENED) {
            return true;
        }
        if (status != EXCLUSIVE_FILE_SHARING_VIOLATION || pausedMilliseconds >= EVENT_FILE_RETRY_LIMIT_MS) {
            return false;
        }
        ExclusiveFilePauseBeforeRetry(EVENT_FILE_RETRY_PAUSE_MS);
        pausedMilliseconds += EVENT_FILE_RETRY_PAUSE_MS;
    }
}

void AppendToFile(const wchar_t* windowsDirectory, ServiceFile which, const void* bytes, size_t count) {
    wchar_t path[WINDOWS_PATH_UNITS];
    ExclusiveFile file;
    if (!BuildServiceFilePath(windowsDirectory, which, path) || !OpenForAppend(path, &file)) {
        return;
    }
    ExclusiveFileAppend(&file, bytes, count);
    ExclusiveFileClose(&file);
}

} // namespace

bool BuildServiceFilePath(const wchar_t* windowsDirectory, ServiceFile file, wchar_t* path) {
    path[0] = L'\0';
    if (windowsDirectory == nullptr || windowsDirectory[0] == L'\0' || file > SERVICE_FILE_PROGRAM) {
        return false;
    }
    const size_t directoryLength = wcslen(windowsDirectory);
    const wchar_t* name = SERVICE_FILE_NAMES[file];
    const size_t nameLength = wcslen(name);
    if (directoryLength + 1 + nameLength >= WINDOWS_PATH_UNITS) {
        return false;
    }
    wmemcpy(path, windowsDirectory, directoryLength);
    path[directoryLength] = L'\\';
    wmemcpy(path + directoryLength + 1, name, nameLength + 1);
    return true;
}

void RecordEvent(const wchar_t* windowsDirectory, const char* line, const GuardEvent& record) {
    if (line == nullptr || line[0] == '\0') {
        return;
    }
    // The log line and its CR LF go out in one write, as the record does.
    char logLine[EVENT_LINE_BUFFER_SIZE + 2];
    const size_t length = strnlen(line, EVENT_LINE_MAX_CHARS);
    memcpy(logLine, line, length);
    logLine[length] = '\0';
    DebugOutputWrite(logLine);
    logLine[length] = '\r';
    logLine[length + 1] = '\n';

    Wow64RedirectionOffScope redirectionOff;
    AppendToFile(windowsDirectory, SERVICE_FILE_LOG, logLine, length + 2);
    AppendToFile(windowsDirectory, SERVICE_FILE_EVENTS, &record, GUARD_EVENT_SIZE);
}

void DeleteEventFile(const wchar_t* windowsDirectory) {
    wchar_t path[WINDOWS_PATH_UNITS];
    if (!BuildServiceFilePath(windowsDirectory, SERVICE_FILE_EVENTS, path)) {
        return;
    }
    Wow64RedirectionOffScope redirectionOff;
    ExclusiveFileDelete(path);
}
