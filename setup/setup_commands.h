// The installer front end's commands over the installer library: which command a command line selects,
// and the install, uninstall and detect sequences with their messages. Portable: the Windows program
// gives it the library's exports and the debugger output; the host tests give it fakes.
#pragma once

#include <stdint.h>

enum SetupCommand {
    SETUP_COMMAND_NONE,
    SETUP_COMMAND_INSTALL_QUIET,
    SETUP_COMMAND_INSTALL,
    SETUP_COMMAND_UNINSTALL,
    SETUP_COMMAND_DETECT,
};

// The command selected by the text after the program's name: each command's leading characters
// ("install-quiet" 13, "install" 7, "uninstall" 9, "dete" 4) compared without regard to case,
// "install-quiet" before "install". Null or anything else selects nothing.
SetupCommand SetupParseCommand(const char16_t* commandLine);

// The installer library's exports as the front end calls them (all strings UTF-16).
// InstallComponent: 0 = installed; `code` is 11 after a success that needs a restart, the error after a
// failure.
typedef uint32_t (*SetupInstallComponentFn)(uint32_t kind, void* reserved1, void* reserved2,
                                            const char16_t* firstInf, const char16_t* secondInf,
                                            const char16_t* driverFile, const char16_t* name, uint32_t* code);
// UninstallComponent: 0 = removed.
typedef uint32_t (*SetupUninstallComponentFn)(const char16_t* identifier, const char16_t* driverFile,
                                              void* reserved);
// DetectDriver: the low byte is 1 when the driver is present.
typedef uint32_t (*SetupDetectDriverFn)(const char16_t* name);

struct SetupLibrary {
    SetupInstallComponentFn InstallComponent;
    SetupUninstallComponentFn UninstallComponent;
    SetupDetectDriverFn DetectDriver;
};

// Where the "Zelk: " lines go (the debugger output on Windows).
struct SetupOutput {
    void (*WriteLine)(void* context, const char16_t* line);
    void* Context;
};

// Formats a message (see SetupFormat) and writes it behind "Zelk: ".
void SetupDebugReport(const SetupOutput& output, const char16_t* format, const char16_t* text = nullptr,
                      int32_t number = 0);

// Runs "install", "uninstall" or "detect"; the other commands do nothing here.
void SetupRunCommand(SetupCommand command, const SetupLibrary& library, const SetupOutput& output);

// The start-up failures.
extern const char16_t SETUP_TEXT_LIBRARY_CANT_LOAD[];
extern const char16_t SETUP_TEXT_LIBRARY_INVALID[];
