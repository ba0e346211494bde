// Controls of the host stand-in for the redirection guard, for tests.
#pragma once

#include <stdint.h>

// Whether the stand-in plays a system that has the redirection functions (it does by default).
void Wow64HostSetAvailableForTest(bool available);
// Guards of the calling thread turned off and not yet restored.
int32_t Wow64HostOffCountForTest();
// Guards that became active on the calling thread since the thread began.
uint32_t Wow64HostActivationsForTest();
