// The gateway correction loop: while inbound spoofing goes on, and for 300 seconds after the last of it,
// every gateway is told the host's true binding once a second.
#pragma once

#include "service/poller/service_state.h"

// Starts the loop on its own thread unless one is running. A loop that is running already measures its
// 300 seconds from the latest LastAttackTime. False when a thread was due but could not be started.
bool RequestCorrectionLoop(ServiceState* state);

// The loop itself, as the thread runs it once CorrectionRunning is set: builds the adapter-gateway list
// once, sends at once and then every second until more than 300 seconds have passed since
// LastAttackTime, then clears every inbound-source entry and CorrectionRunning.
void RunCorrectionLoop(ServiceState* state);
