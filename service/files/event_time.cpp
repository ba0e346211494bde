#include "service/files/event_time.h"

#include <time.h>

#define TIME_TICKS_PER_SECOND 10000000ull
#define SECONDS_FROM_1601_TO_1970 11644473600ll

int64_t EventTimeToUnixSeconds(uint64_t time) {
    return static_cast<int64_t>(time / TIME_TICKS_PER_SECOND) - SECONDS_FROM_1601_TO_1970;
}

EventCalendarTime EventTimeToLocal(uint64_t time) {
    EventCalendarTime calendar{};
    const int64_t seconds = EventTimeToUnixSeconds(time);
    if (seconds < EVENT_TIME_FIRST_SECOND || seconds > EVENT_TIME_LAST_SECOND) {
        return calendar;
    }
    const time_t value = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&value, &local) == nullptr) {
        return calendar;
    }
    calendar.Known = true;
    calendar.Year = local.tm_year + 1900;
    calendar.Month = local.tm_mon + 1;
    calendar.Day = local.tm_mday;
    calendar.Hour = local.tm_hour;
    calendar.Minute = local.tm_min;
    calendar.Second = local.tm_sec;
    return calendar;
}
