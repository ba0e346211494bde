// Bounded UTF-16 formatting for the installer front end's messages, and the paths it builds.
// Portable: the Windows program and the host tests share it.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Every message and every line written to the debugger output fits this many UTF-16 units.
const size_t SETUP_MESSAGE_UNITS = 1024;
// Paths as the system's ANSI and UTF-16 path calls return them.
const size_t SETUP_PATH_UNITS = 260;

// One value per placeholder, in order: %ws takes Text (a null Text prints as nothing), %d takes Number.
struct SetupFormatValue {
    const char16_t* Text;
    int32_t Number;
};

// Formats into `units` UTF-16 units (units > 0), always terminated; what does not fit is cut off.
// Returns the units written before the terminator. Other % sequences are copied as they are.
size_t SetupFormat(char16_t* buffer, size_t units, const char16_t* format, const SetupFormatValue* values,
                   size_t count);

// The debugger line of a message: "Zelk: " and the message, cut to fit SETUP_MESSAGE_UNITS.
void SetupReportLine(char16_t* line, const char16_t* message);

// The installer library beside the program: the program's own path cut at its last backslash, then
// "\ZelkSetup64.dll". False when the path has no backslash or the result would not fit `bytes`.
bool SetupLibraryPath(const char* modulePath, char* path, size_t bytes);

// The command line of the child that "install-quiet" starts: "\"<program path>\" install".
// False when it would not fit `units`.
bool SetupChildCommandLine(const char16_t* modulePath, char16_t* commandLine, size_t units);
