// The event poller: once a second it drains the guard's findings through \\.\ZELKARP and records what is
// new enough; every fifth cycle, first, it pushes a freshly resolved list of gateway bindings down.
#pragma once

#include <stdint.h>

#include <vector>

#include "common/zelk_records.h"
#include "platform/windir/windows_directory.h"
#include "service/poller/scan_filter.h"
#include "service/poller/service_state.h"

// What the poller thread alone owns.
struct PollerState {
    std::vector<ArpBinding> Bindings; // pushed to the driver; the gateways whose scans are ignored
    wchar_t WindowsDirectory[WINDOWS_PATH_UNITS];
    ScanMemory Scans;
};

// Starts the companion protocol driver's service and polls. Never returns on Windows; on a simulated host
// it returns once the host shuts down.
void RunEventPoller(ServiceState* state);

// One drained record, as the poller handles it: decides its line (if any), updates the suppression state,
// asks for the correction loop on inbound spoofing, and records the event.
void HandleGuardRecord(ServiceState* state, PollerState* poller, const uint8_t* bytes);
