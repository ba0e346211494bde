#include "platform/win32/wow64_redirection.h"

#include <windows.h>

namespace {

typedef BOOL(WINAPI* Wow64DisableFn)(PVOID* oldValue);
typedef BOOL(WINAPI* Wow64RevertFn)(PVOID oldValue);

// kernel32.dll is loaded for the one call and released right after.
template <typename Function> bool CallKernel32(const char* name, Function call) {
    HMODULE kernel32 = LoadLibraryA("kernel32.dll");
    if (kernel32 == nullptr) {
        return false;
    }
    const FARPROC address = GetProcAddress(kernel32, name);
    const bool succeeded = address != nullptr && call(address);
    FreeLibrary(kernel32);
    return succeeded;
}

} // namespace

void Wow64RedirectionTurnOff(Wow64RedirectionGuard* guard) {
    guard->SavedValue = nullptr;
    guard->Active = CallKernel32("Wow64DisableWow64FsRedirection", [guard](FARPROC address) {
        return reinterpret_cast<Wow64DisableFn>(reinterpret_cast<void*>(address))(&guard->SavedValue) !=
               FALSE;
    });
}

void Wow64RedirectionRestore(Wow64RedirectionGuard* guard) {
    if (!guard->Active) {
        return;
    }
    CallKernel32("Wow64RevertWow64FsRedirection", [guard](FARPROC address) {
        return reinterpret_cast<Wow64RevertFn>(reinterpret_cast<void*>(address))(guard->SavedValue) != FALSE;
    });
    guard->Active = false;
}
