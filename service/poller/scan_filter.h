// Which scan records are worth a line: not the gateways' own, not the service's or the system's, and not
// the same scanner as the one logged last.
#pragma once

#include <stdint.h>

#include <vector>

#include "common/zelk_records.h"
#include "service/files/event_line.h"

// The scanners logged last; both start empty (LastScanIp 0).
struct ScanMemory {
    uint32_t LastScanIp; // in the byte order of GuardEvent.Ip
    uint16_t LastScanProgram[GUARD_PROCESS_NAME_UNITS];
};

// 0.0.0.0 and 255.255.255.255 name no host.
bool IsUnsetOrBroadcast(const Ipv4Address& ip);

// The line for a kind-3 record whose name is `name`: EVENT_LINE_PROGRAM_SCAN, EVENT_LINE_NETWORK_SCAN or
// EVENT_LINE_NONE. Remembers the scanner when a line is due.
EventLineVariant FilterScan(const GuardEvent& record, const uint16_t* name,
                            const std::vector<ArpBinding>& bindings, ScanMemory* memory);
