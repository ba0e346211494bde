#include "platform/debug_output/debug_output.h"

#include <windows.h>

void DebugOutputWrite(const char* text) {
    OutputDebugStringA(text);
}
