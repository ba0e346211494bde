// The service's file recording as ZELKSrv.exe does it, for the Wine tests of the log and event files.
//
// "zelk_files_probe record [STARTED]": finds the Windows directory, records one inbound spoofing event
//     (creating STARTED first when given), and prints "directory=...", "line=..." and "elapsed_ms=...".
// "zelk_files_probe hold MILLISECONDS READY STARTED": a reader that holds the event file open with no
//     sharing, creates READY, waits for STARTED (at most a minute), keeps holding for MILLISECONDS, then
//     lets go. Exit 1 when the file cannot be opened, 3 when STARTED never appears.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "platform/windir/windows_directory.h"
#include "service/files/event_files.h"
#include "service/files/event_line.h"

namespace {

const int WAIT_POLLS = 6000;
const DWORD WAIT_POLL_MILLISECONDS = 10;
// 2011-03-25 21:35:37 UTC.
const uint64_t PROBE_EVENT_TIME = 129455625370000000ull;

bool Exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void Touch(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

GuardEvent ProbeEvent() {
    GuardEvent event{};
    event.Kind = GUARD_EVENT_INBOUND_SPOOF;
    event.Time = PROBE_EVENT_TIME;
    event.Mac = MacAddress{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
    event.Ip = Ipv4Address{{192, 168, 1, 10}};
    return event;
}

int Record(const wchar_t* started) {
    wchar_t windowsDirectory[WINDOWS_PATH_UNITS];
    if (!FindWindowsDirectory(windowsDirectory)) {
        return 1;
    }
    const GuardEvent event = ProbeEvent();
    char line[EVENT_LINE_BUFFER_SIZE];
    FormatEventLineForRecord(event, line, sizeof(line));
    if (started != nullptr) {
        Touch(started);
    }
    const ULONGLONG before = GetTickCount64();
    RecordEvent(windowsDirectory, line, event);
    const ULONGLONG elapsed = GetTickCount64() - before;
    std::printf("directory=%ls\nline=%s\nelapsed_ms=%llu\n", windowsDirectory, line, elapsed);
    return 0;
}

int Hold(DWORD milliseconds, const wchar_t* ready, const wchar_t* started) {
    wchar_t windowsDirectory[WINDOWS_PATH_UNITS];
    wchar_t path[WINDOWS_PATH_UNITS];
    if (!FindWindowsDirectory(windowsDirectory) ||
        !BuildServiceFilePath(windowsDirectory, SERVICE_FILE_EVENTS, path)) {
        return 1;
    }
    HANDLE held = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return 1;
    }
    Touch(ready);
    int poll = 0;
    while (poll < WAIT_POLLS && !Exists(started)) {
        Sleep(WAIT_POLL_MILLISECONDS);
        ++poll;
    }
    if (poll < WAIT_POLLS) {
        Sleep(milliseconds);
    }
    CloseHandle(held);
    return poll < WAIT_POLLS ? 0 : 3;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && argc <= 3 && std::wcscmp(argv[1], L"record") == 0) {
        return Record(argc == 3 ? argv[2] : nullptr);
    }
    if (argc == 5 && std::wcscmp(argv[1], L"hold") == 0) {
        return Hold(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)), argv[3], argv[4]);
    }
    return 2;
}
