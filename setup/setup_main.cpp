// ZelkSetup64.exe: installs, removes and detects the two network drivers through the installer library
// beside it. No window, no console; it reports only through the debugger output and always exits with 0.
#include <windows.h>

#include "setup/setup_commands.h"
#include "setup/setup_text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 units pass to the system as they are");

namespace {

// The install-quiet child runs here, never shown; the parent does not switch to it.
const wchar_t SETUP_DESKTOP[] = L"ZelkInstaller";
const wchar_t SETUP_DEFAULT_DESKTOP[] = L"WinSta0\\Default";
const DWORD SETUP_CHILD_CREATION_FLAGS = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS;
const DWORD SETUP_CHILD_WAIT_MILLISECONDS = 300000;

void WriteDebugLine(void*, const char16_t* line) {
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(line));
}

const SetupOutput SETUP_DEBUG_OUTPUT = {WriteDebugLine, nullptr};

// Runs "install" again on a desktop of its own and waits for it.
void RunInstallQuiet() {
    HDESK desktop =
        CreateDesktopW(SETUP_DESKTOP, nullptr, nullptr, DF_ALLOWOTHERACCOUNTHOOK, GENERIC_ALL, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = const_cast<wchar_t*>(desktop != nullptr ? SETUP_DESKTOP : SETUP_DEFAULT_DESKTOP);

    wchar_t modulePath[SETUP_PATH_UNITS];
    wchar_t commandLine[SETUP_MESSAGE_UNITS];
    const DWORD pathLength = GetModuleFileNameW(nullptr, modulePath, SETUP_PATH_UNITS);
    // A cut-off path could name another program: then no child is started at all.
    const bool pathComplete = pathLength > 0 && pathLength < SETUP_PATH_UNITS;
    PROCESS_INFORMATION process = {};
    if (pathComplete &&
        SetupChildCommandLine(reinterpret_cast<const char16_t*>(modulePath),
                              reinterpret_cast<char16_t*>(commandLine), SETUP_MESSAGE_UNITS) &&
        CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, SETUP_CHILD_CREATION_FLAGS, nullptr,
                       nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, SETUP_CHILD_WAIT_MILLISECONDS);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (desktop != nullptr) {
        CloseDesktop(desktop);
    }
}

// Loads the library beside the program; null (after the message) when it is missing or lacks an export.
HMODULE LoadInstallerLibrary(SetupLibrary* library) {
    char modulePath[SETUP_PATH_UNITS];
    char libraryPath[SETUP_PATH_UNITS];
    const DWORD pathLength = GetModuleFileNameA(nullptr, modulePath, SETUP_PATH_UNITS);
    HMODULE module = nullptr;
    // A cut-off path could point into another directory: such a library is never loaded.
    if (pathLength > 0 && pathLength < SETUP_PATH_UNITS &&
        SetupLibraryPath(modulePath, libraryPath, SETUP_PATH_UNITS)) {
        module = LoadLibraryA(libraryPath);
    }
    if (module == nullptr) {
        SetupDebugReport(SETUP_DEBUG_OUTPUT, SETUP_TEXT_LIBRARY_CANT_LOAD);
        return nullptr;
    }
    library->InstallComponent = reinterpret_cast<SetupInstallComponentFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "InstallComponent")));
    library->UninstallComponent = reinterpret_cast<SetupUninstallComponentFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "UninstallComponent")));
    library->DetectDriver = reinterpret_cast<SetupDetectDriverFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DetectDriver")));
    // Never called, but a library without it is not the right library.
    const FARPROC findServiceComponent = GetProcAddress(module, "FindServiceComponent");
    if (library->InstallComponent == nullptr || library->UninstallComponent == nullptr ||
        library->DetectDriver == nullptr || findServiceComponent == nullptr) {
        FreeLibrary(module);
        SetupDebugReport(SETUP_DEBUG_OUTPUT, SETUP_TEXT_LIBRARY_INVALID);
        return nullptr;
    }
    return module;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    SetupLibrary library = {};
    HMODULE module = LoadInstallerLibrary(&library);
    if (module == nullptr) {
        return 0;
    }
    const SetupCommand command = SetupParseCommand(reinterpret_cast<const char16_t*>(commandLine));
    if (command == SETUP_COMMAND_INSTALL_QUIET) {
        RunInstallQuiet();
    } else {
        SetupRunCommand(command, library, SETUP_DEBUG_OUTPUT);
    }
    FreeLibrary(module);
    return 0;
}
