// Event records and event file bytes for the agent's tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/zelk_records.h"
#include "tools/frames/arp_frame.h"

// 2023/06/15 12:00:00 UTC, plus whole seconds.
inline uint64_t EventTimeAt(uint32_t seconds) {
    return 133313040000000000ull + seconds * 10000000ull;
}

inline GuardEvent MakeEvent(uint8_t kind, uint64_t time, const char* mac = "00-1A-2B-3C-4D-5E",
                            const char* ip = "192.168.1.1", uint64_t processId = 0, const char* name = "") {
    GuardEvent event{};
    event.Kind = kind;
    event.Time = time;
    event.Mac = zelk::Mac(mac);
    event.Ip = zelk::Ip(ip);
    event.ProcessId = processId;
    uint16_t units[GUARD_PROCESS_NAME_UNITS] = {};
    for (size_t i = 0; name[i] != 0 && i < GUARD_PROCESS_NAME_UNITS; ++i) {
        units[i] = static_cast<unsigned char>(name[i]);
    }
    memcpy(event.ProcessName, units, sizeof(units));
    return event;
}

// The bytes of an event file holding `events`, then `tail` stray bytes.
inline std::vector<uint8_t> EventFileBytes(const std::vector<GuardEvent>& events, size_t tail = 0) {
    std::vector<uint8_t> bytes(events.size() * GUARD_EVENT_SIZE + tail, 0xEE);
    if (!events.empty()) {
        memcpy(bytes.data(), events.data(), events.size() * GUARD_EVENT_SIZE);
    }
    return bytes;
}
