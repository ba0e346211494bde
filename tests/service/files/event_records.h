// Guard records and event times for the service files' tests.
#pragma once

#include <stdint.h>
#include <time.h>

#include <string>
#include <string_view>

#include "common/zelk_records.h"
#include "tools/frames/arp_frame.h"

namespace zelk::test {

// The event Time of a UTC calendar second.
inline uint64_t EventTimeOfUtc(int year, int month, int day, int hour, int minute, int second) {
    struct tm utc {};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    return (static_cast<uint64_t>(timegm(&utc)) + 11644473600ull) * 10000000ull;
}

// A record as the driver hands it over; `name` fills ProcessName unit by unit (at most 32 units).
inline GuardEvent MakeEvent(uint8_t kind, std::string_view mac, std::string_view ip, uint64_t processId = 0,
                            std::u16string_view name = {}) {
    GuardEvent event{};
    event.Kind = kind;
    event.Time = EventTimeOfUtc(2011, 3, 25, 21, 35, 37);
    event.Mac = Mac(mac);
    event.Ip = Ip(ip);
    event.ProcessId = processId;
    for (size_t i = 0; i < name.size() && i < GUARD_PROCESS_NAME_UNITS; ++i) {
        event.ProcessName[i] = static_cast<uint16_t>(name[i]);
    }
    return event;
}

} // namespace zelk::test
