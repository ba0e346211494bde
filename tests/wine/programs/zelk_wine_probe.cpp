// The Wine harness's own test program: "zelk_wine_probe CODE [sleep]" writes one narrow and one wide
// debugger line, creates C:\windows\zelk_probe.txt, optionally sleeps a minute, and exits with CODE.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    OutputDebugStringA("probe narrow \"quoted\"\\\n");
    OutputDebugStringW(L"probe wide\tline\n");
    HANDLE file = CreateFileW(L"C:\\windows\\zelk_probe.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    if (argc > 2 && std::wcscmp(argv[2], L"sleep") == 0) {
        Sleep(60000);
    }
    return argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : 0;
}
