// The host stand-in for exclusive files. Paths come as units that each stand for one byte of the host
// path (as the host Windows directory hands them out); a backslash becomes a slash, so the names the
// service builds ("<dir>\ZELKSrv.log") land inside the host directory.
#include "platform/exclusive_file/exclusive_file.h"
#include "platform/exclusive_file/exclusive_file_host_control.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <string>

namespace {

std::mutex g_Lock;
uint32_t g_FailuresLeft = 0;
ExclusiveFileOpenStatus g_FailureStatus = EXCLUSIVE_FILE_OPEN_FAILED;
uint32_t g_OpenAttempts = 0;
uint32_t g_Pauses = 0;
uint64_t g_PausedMilliseconds = 0;

// False when a unit cannot stand for a host byte.
bool ToHostPath(const wchar_t* path, std::string* hostPath) {
    hostPath->clear();
    for (const wchar_t* unit = path; *unit != L'\0'; ++unit) {
        if (static_cast<uint32_t>(*unit) > 0xFFu) {
            return false;
        }
        hostPath->push_back(*unit == L'\\' ? '/' : static_cast<char>(*unit));
    }
    return !hostPath->empty();
}

} // namespace

ExclusiveFileOpenStatus ExclusiveFileOpenAppend(const wchar_t* path, ExclusiveFile* file) {
    {
        std::lock_guard<std::mutex> hold(g_Lock);
        ++g_OpenAttempts;
        if (g_FailuresLeft > 0) {
            --g_FailuresLeft;
            return g_FailureStatus;
        }
    }
    std::string hostPath;
    if (!ToHostPath(path, &hostPath)) {
        return EXCLUSIVE_FILE_OPEN_FAILED;
    }
    const int descriptor = open(hostPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        return EXCLUSIVE_FILE_OPEN_FAILED;
    }
    file->Handle = descriptor;
    return EXCLUSIVE_FILE_OPENED;
}

void ExclusiveFileAppend(ExclusiveFile* file, const void* bytes, size_t count) {
    const ssize_t written = write(static_cast<int>(file->Handle), bytes, count);
    (void)written; // a failed write goes unreported, as on Windows
}

void ExclusiveFileClose(ExclusiveFile* file) {
    close(static_cast<int>(file->Handle));
}

bool ExclusiveFileDelete(const wchar_t* path) {
    std::string hostPath;
    return ToHostPath(path, &hostPath) && unlink(hostPath.c_str()) == 0;
}

void ExclusiveFilePauseBeforeRetry(uint32_t milliseconds) {
    std::lock_guard<std::mutex> hold(g_Lock);
    ++g_Pauses;
    g_PausedMilliseconds += milliseconds;
}

void ExclusiveFileHostFailOpensForTest(uint32_t count, ExclusiveFileOpenStatus status) {
    std::lock_guard<std::mutex> hold(g_Lock);
    g_FailuresLeft = count;
    g_FailureStatus = status;
}

uint32_t ExclusiveFileHostOpenAttemptsForTest() {
    std::lock_guard<std::mutex> hold(g_Lock);
    return g_OpenAttempts;
}

uint32_t ExclusiveFileHostPausesForTest() {
    std::lock_guard<std::mutex> hold(g_Lock);
    return g_Pauses;
}

uint64_t ExclusiveFileHostPausedMillisecondsForTest() {
    std::lock_guard<std::mutex> hold(g_Lock);
    return g_PausedMilliseconds;
}

void ExclusiveFileHostResetForTest() {
    std::lock_guard<std::mutex> hold(g_Lock);
    g_FailuresLeft = 0;
    g_FailureStatus = EXCLUSIVE_FILE_OPEN_FAILED;
    g_OpenAttempts = 0;
    g_Pauses = 0;
    g_PausedMilliseconds = 0;
}
