// The system's debugger output: one narrow line per call, sent as given (no line end is added).
//
// On Windows it goes to OutputDebugStringA; the host stand-in keeps the lines for tests to read
// (debug_output_host_control.h).
#pragma once

void DebugOutputWrite(const char* text);
