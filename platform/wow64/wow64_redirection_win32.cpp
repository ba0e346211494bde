// The redirection guard over "kernel32.dll": the functions exist only on 64-bit systems (and a few
// 32-bit ones), so they are looked up by name each time rather than linked.
#include "platform/wow64/wow64_redirection.h"

#include <windows.h>

namespace {

using Wow64DisableFunction = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFunction = BOOL(WINAPI*)(PVOID);

// GetProcAddress hands back a generic function pointer; the cast through void* names the real type.
template <typename Function> Function LookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

void Wow64RedirectionTurnOff(Wow64RedirectionGuard* guard) {
    guard->SavedValue = nullptr;
    guard->Active = false;
    HMODULE kernel32 = LoadLibraryA("kernel32.dll");
    if (kernel32 == nullptr) {
        return;
    }
    auto disable = LookUp<Wow64DisableFunction>(kernel32, "Wow64DisableWow64FsRedirection");
    guard->Active = disable != nullptr && disable(&guard->SavedValue) != FALSE;
    FreeLibrary(kernel32);
}

void Wow64RedirectionRestore(Wow64RedirectionGuard* guard) {
    if (!guard->Active) {
        return;
    }
    guard->Active = false;
    HMODULE kernel32 = LoadLibraryA("kernel32.dll");
    if (kernel32 == nullptr) {
        return;
    }
    auto revert = LookUp<Wow64RevertFunction>(kernel32, "Wow64RevertWow64FsRedirection");
    if (revert != nullptr) {
        revert(guard->SavedValue);
    }
    FreeLibrary(kernel32);
}
