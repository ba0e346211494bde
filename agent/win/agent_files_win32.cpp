#include "agent/win/agent_files_win32.h"

#include <new>

#include <windows.h>

#include <shellapi.h>

#include "platform/wow64/wow64_redirection.h"

bool ReadWholeRecords(const wchar_t* path, size_t recordSize, FileBytes& bytes) {
    Wow64RedirectionOffScope redirection;
    HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    bool read = false;
    if (::GetFileSizeEx(file, &size) && size.QuadPart >= static_cast<LONGLONG>(recordSize)) {
        // One read takes at most what a DWORD counts.
        const unsigned long long largest = MAXDWORD / recordSize;
        const unsigned long long count = static_cast<unsigned long long>(size.QuadPart) / recordSize;
        const size_t length = static_cast<size_t>(count < largest ? count : largest) * recordSize;
        bytes.Data.reset(new (std::nothrow) uint8_t[length]);
        DWORD delivered = 0;
        if (bytes.Data != nullptr &&
            ::ReadFile(file, bytes.Data.get(), static_cast<DWORD>(length), &delivered, nullptr)) {
            bytes.Length = delivered;
            read = delivered != 0;
        }
    }
    ::CloseHandle(file);
    return read;
}

bool FileAttributesReadable(const wchar_t* path) {
    Wow64RedirectionOffScope redirection;
    return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void ShellOpenFile(const wchar_t* path) {
    Wow64RedirectionOffScope redirection;
    ::ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
}
