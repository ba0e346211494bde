// The sink of the host stand-in for the debugger output, for tests.
#pragma once

#include <string>
#include <vector>

// Every text written since the last clear, oldest first.
std::vector<std::string> DebugOutputHostLinesForTest();
void DebugOutputHostClearForTest();
