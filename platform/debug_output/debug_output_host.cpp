// The host stand-in for the debugger output: a sink that tests read.
#include "platform/debug_output/debug_output.h"
#include "platform/debug_output/debug_output_host_control.h"

#include <mutex>

namespace {

std::mutex g_Lock;
std::vector<std::string> g_Lines;

} // namespace

void DebugOutputWrite(const char* text) {
    std::lock_guard<std::mutex> hold(g_Lock);
    g_Lines.emplace_back(text);
}

std::vector<std::string> DebugOutputHostLinesForTest() {
    std::lock_guard<std::mutex> hold(g_Lock);
    return g_Lines;
}

void DebugOutputHostClearForTest() {
    std::lock_guard<std::mutex> hold(g_Lock);
    g_Lines.clear();
}
