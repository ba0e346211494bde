// The host stand-in for the redirection guard: nothing is redirected on the host, so it only keeps
// count, per thread as the real thing works, of what was turned off and restored.
#include "platform/wow64/wow64_redirection.h"
#include "platform/wow64/wow64_redirection_host_control.h"

#include <atomic>

namespace {

std::atomic<bool> g_Available{true};
thread_local int32_t t_OffCount = 0;
thread_local uint32_t t_Activations = 0;
// Stands for the state the system hands back; restore checks it comes back unchanged.
int g_SavedValueToken = 0;

} // namespace

void Wow64RedirectionTurnOff(Wow64RedirectionGuard* guard) {
    guard->SavedValue = nullptr;
    guard->Active = g_Available.load();
    if (guard->Active) {
        guard->SavedValue = &g_SavedValueToken;
        ++t_OffCount;
        ++t_Activations;
    }
}

void Wow64RedirectionRestore(Wow64RedirectionGuard* guard) {
    if (!guard->Active) {
        return;
    }
    guard->Active = false;
    if (guard->SavedValue == &g_SavedValueToken) {
        --t_OffCount;
    }
}

void Wow64HostSetAvailableForTest(bool available) {
    g_Available.store(available);
}
int32_t Wow64HostOffCountForTest() {
    return t_OffCount;
}
uint32_t Wow64HostActivationsForTest() {
    return t_Activations;
}
