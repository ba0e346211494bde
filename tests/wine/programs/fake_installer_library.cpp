// A recording stand-in for the installer library ZelkSetup64.dll, for the installer front end's Wine tests.
//
// Every load and every call is appended as one UTF-8 line to "ZelkSetup64.calls.txt" beside the library:
//   "<pid> load desktop=<desktop|null> command=<the process's command line>"
//   "<pid> InstallComponent <kind> <reserved> <reserved> <first INF> <second INF> <driver file> <name>
//   code=<value>"
//   "<pid> UninstallComponent <identifier> <driver file> <reserved>"
//   "<pid> DetectDriver <name>"
// Strings appear in double quotes, null pointers as null, other pointers in hex, and `code` as the value it
// held on entry. Results come from the environment, "key=value" entries separated by ';' and keyed by the
// name or identifier argument; what is not given answers 0 (code 0):
//   ZELK_FAKE_INSTALL="ZELKARP=1/1058;ZELKProt=0/11"   result/code of InstallComponent
//   ZELK_FAKE_UNINSTALL="ZELK_ARP=1"                   result of UninstallComponent
//   ZELK_FAKE_DETECT="ZELKARP=1;ZELKPROT=257"          result of DetectDriver
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HMODULE g_Library = nullptr;

std::string Utf8(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &converted[0], bytes, nullptr, nullptr);
    converted.resize(converted.size() - 1);
    return converted;
}

std::string Quoted(const wchar_t* text) {
    return text == nullptr ? "null" : "\"" + Utf8(text) + "\"";
}

std::string Pointer(const void* pointer) {
    if (pointer == nullptr) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%p", pointer);
    return text;
}

void Record(const std::string& line) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(g_Library, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    wchar_t* lastBackslash = std::wcsrchr(path, L'\\');
    if (lastBackslash == nullptr || (lastBackslash - path) + 24 >= MAX_PATH) {
        return;
    }
    std::wcscpy(lastBackslash + 1, L"ZelkSetup64.calls.txt");
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = std::to_string(GetCurrentProcessId()) + " " + line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// The value of `key` in the environment variable's "key=value;..." list; empty when absent.
std::wstring Answer(const wchar_t* variable, const wchar_t* key) {
    wchar_t list[1024];
    const DWORD length = GetEnvironmentVariableW(variable, list, 1024);
    if (length == 0 || length >= 1024 || key == nullptr) {
        return L"";
    }
    const std::wstring entries = list;
    const std::wstring wanted = std::wstring(key) + L"=";
    size_t start = 0;
    while (start <= entries.size()) {
        size_t end = entries.find(L';', start);
        if (end == std::wstring::npos) {
            end = entries.size();
        }
        if (entries.compare(start, wanted.size(), wanted) == 0) {
            return entries.substr(start + wanted.size(), end - start - wanted.size());
        }
        start = end + 1;
    }
    return L"";
}

} // namespace

extern "C" __declspec(dllexport) DWORD
    InstallComponent(DWORD kind, void* reserved1, void* reserved2, const wchar_t* firstInf,
                     const wchar_t* secondInf, const wchar_t* driverFile, const wchar_t* name, DWORD* code) {
    Record("InstallComponent " + std::to_string(kind) + " " + Pointer(reserved1) + " " + Pointer(reserved2) +
           " " + Quoted(firstInf) + " " + Quoted(secondInf) + " " + Quoted(driverFile) + " " + Quoted(name) +
           " code=" + (code == nullptr ? "null" : std::to_string(*code)));
    const std::wstring answer = Answer(L"ZELK_FAKE_INSTALL", name);
    const size_t slash = answer.find(L'/');
    if (code != nullptr && slash != std::wstring::npos) {
        *code = static_cast<DWORD>(std::wcstoul(answer.c_str() + slash + 1, nullptr, 10));
    }
    return static_cast<DWORD>(std::wcstoul(answer.c_str(), nullptr, 10));
}

extern "C" __declspec(dllexport) DWORD
    UninstallComponent(const wchar_t* identifier, const wchar_t* driverFile, void* reserved) {
    Record("UninstallComponent " + Quoted(identifier) + " " + Quoted(driverFile) + " " + Pointer(reserved));
    return static_cast<DWORD>(std::wcstoul(Answer(L"ZELK_FAKE_UNINSTALL", identifier).c_str(), nullptr, 10));
}

extern "C" __declspec(dllexport) DWORD DetectDriver(const wchar_t* name) {
    Record("DetectDriver " + Quoted(name));
    return static_cast<DWORD>(std::wcstoul(Answer(L"ZELK_FAKE_DETECT", name).c_str(), nullptr, 10));
}

#ifndef FAKE_INSTALLER_WITHOUT_FIND_SERVICE
extern "C" __declspec(dllexport) DWORD FindServiceComponent() {
    Record("FindServiceComponent");
    return 0;
}
#endif

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_Library = instance;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        GetStartupInfoW(&startup);
        Record(
            "load desktop=" + (startup.lpDesktop == nullptr ? std::string("null") : Utf8(startup.lpDesktop)) +
            " command=" + Utf8(GetCommandLineW()));
    }
    return TRUE;
}
