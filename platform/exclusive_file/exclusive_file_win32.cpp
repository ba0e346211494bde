#include "platform/exclusive_file/exclusive_file.h"

#include <windows.h>

static_assert(sizeof(wchar_t) == sizeof(WCHAR), "paths are UTF-16");

ExclusiveFileOpenStatus ExclusiveFileOpenAppend(const wchar_t* path, ExclusiveFile* file) {
    // Append-only access: every write lands at the end, whatever another writer did before.
    HANDLE handle =
        CreateFileW(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION ? EXCLUSIVE_FILE_SHARING_VIOLATION
                                                         : EXCLUSIVE_FILE_OPEN_FAILED;
    }
    file->Handle = reinterpret_cast<intptr_t>(handle);
    return EXCLUSIVE_FILE_OPENED;
}

void ExclusiveFileAppend(ExclusiveFile* file, const void* bytes, size_t count) {
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(file->Handle), bytes, static_cast<DWORD>(count), &written, nullptr);
}

void ExclusiveFileClose(ExclusiveFile* file) {
    CloseHandle(reinterpret_cast<HANDLE>(file->Handle));
}

bool ExclusiveFileDelete(const wchar_t* path) {
    return DeleteFileW(path) != FALSE;
}

void ExclusiveFilePauseBeforeRetry(uint32_t milliseconds) {
    Sleep(milliseconds);
}
