// The calendar time of an event: its Time (100 ns units since 1601-01-01 00:00 UTC) broken down in the
// host's local time zone, with its daylight-saving rules, as the log lines and the event list show it.
#pragma once

#include <stdint.h>

struct EventCalendarTime {
    bool Known; // false when this Time has no local breakdown; the fields are then zero
    int Year;   // the full year
    int Month;  // 1 to 12
    int Day;    // 1 to 31
    int Hour;   // 0 to 23
    int Minute;
    int Second;
};

// Local times are worked out from 1970-01-01 00:00:00 to 3000-12-31 23:59:59 UTC, the range the
// Windows C runtime can break down; the host keeps to it too, so both show the same.
#define EVENT_TIME_FIRST_SECOND 0ll
#define EVENT_TIME_LAST_SECOND 32535215999ll

// Whole seconds since 1970-01-01 00:00 UTC of an event Time (negative before 1970).
int64_t EventTimeToUnixSeconds(uint64_t time);

// The local calendar time of an event Time; Known is false outside the range above or when the
// breakdown fails.
EventCalendarTime EventTimeToLocal(uint64_t time);
