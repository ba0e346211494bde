// The event poller: once a second it drains the guard's findings through \\.\ZELKARP and records what is
// new enough; every fifth cycle, first, it pushes a freshly resolved list of gateway bindings down.
#pragma once

#include "service/poller/service_state.h"

// Starts the companion protocol driver's service and polls. Never returns on Windows; on a simulated host
// it returns once the host shuts down.
void RunEventPoller(ServiceState* state);
