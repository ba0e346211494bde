#include "setup/setup_text.h"

#include <string.h>

namespace {

const char SETUP_LIBRARY_NAME[] = "ZelkSetup64.dll";

// Appends one unit when there is room for it and the terminator.
void Put(char16_t* buffer, size_t units, size_t* length, char16_t unit) {
    if (*length + 1 < units) {
        buffer[(*length)++] = unit;
    }
}

void PutText(char16_t* buffer, size_t units, size_t* length, const char16_t* text) {
    for (; text != nullptr && *text != 0; ++text) {
        Put(buffer, units, length, *text);
    }
}

void PutDecimal(char16_t* buffer, size_t units, size_t* length, int32_t number) {
    // Widened first so that the most negative value has a magnitude too.
    int64_t magnitude = number;
    if (magnitude < 0) {
        Put(buffer, units, length, u'-');
        magnitude = -magnitude;
    }
    char16_t digits[16];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0) {
        Put(buffer, units, length, digits[--count]);
    }
}

} // namespace

size_t SetupFormat(char16_t* buffer, size_t units, const char16_t* format, const SetupFormatValue* values,
                   size_t count) {
    size_t length = 0;
    size_t next = 0;
    for (const char16_t* at = format; *at != 0; ++at) {
        if (at[0] == u'%' && at[1] == u'w' && at[2] == u's') {
            PutText(buffer, units, &length, next < count ? values[next].Text : nullptr);
            ++next;
            at += 2;
        } else if (at[0] == u'%' && at[1] == u'd') {
            if (next < count) {
                PutDecimal(buffer, units, &length, values[next].Number);
            }
            ++next;
            at += 1;
        } else {
            Put(buffer, units, &length, *at);
        }
    }
    buffer[length] = 0;
    return length;
}

void SetupReportLine(char16_t* line, const char16_t* message) {
    const SetupFormatValue value = {message, 0};
    SetupFormat(line, SETUP_MESSAGE_UNITS, u"Zelk: %ws", &value, 1);
}

bool SetupLibraryPath(const char* modulePath, char* path, size_t bytes) {
    const char* lastBackslash = strrchr(modulePath, '\\');
    if (lastBackslash == nullptr) {
        return false;
    }
    const size_t directoryLength = static_cast<size_t>(lastBackslash - modulePath);
    const size_t needed = directoryLength + 1 + sizeof(SETUP_LIBRARY_NAME);
    if (needed > bytes) {
        return false;
    }
    memcpy(path, modulePath, directoryLength);
    path[directoryLength] = '\\';
    memcpy(path + directoryLength + 1, SETUP_LIBRARY_NAME, sizeof(SETUP_LIBRARY_NAME));
    return true;
}

bool SetupChildCommandLine(const char16_t* modulePath, char16_t* commandLine, size_t units) {
    const SetupFormatValue value = {modulePath, 0};
    const char16_t format[] = u"\"%ws\" install";
    size_t pathLength = 0;
    while (modulePath[pathLength] != 0) {
        ++pathLength;
    }
    // The format's own text minus the placeholder, plus the path and the terminator.
    if (sizeof(format) / sizeof(format[0]) - 1 - 3 + pathLength + 1 > units) {
        return false;
    }
    SetupFormat(commandLine, units, format, &value, 1);
    return true;
}
