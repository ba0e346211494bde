#include "service/files/event_line.h"

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

namespace {

#define PROCESS_NAME_MAX_CHARS (GUARD_PROCESS_NAME_UNITS - 1u)

// "2011/03/25 21:35:37", or the fixed text when the time is not known.
void FormatTime(const EventCalendarTime& time, char (&text)[32]) {
    if (!time.Known) {
        snprintf(text, sizeof(text), "%s", EVENT_TIME_UNKNOWN_TEXT);
        return;
    }
    snprintf(text, sizeof(text), "%04d/%02d/%02d %02d:%02d:%02d", time.Year, time.Month, time.Day, time.Hour,
             time.Minute, time.Second);
}

// Each UTF-16 unit becomes the byte of the same value; the driver makes none above 255.
void NarrowProcessName(const GuardEvent& event, char (&name)[PROCESS_NAME_MAX_CHARS + 1]) {
    size_t length = 0;
    while (length < PROCESS_NAME_MAX_CHARS) {
        uint16_t unit;
        memcpy(&unit, &event.ProcessName[length], sizeof(unit));
        if (unit == 0) {
            break;
        }
        name[length++] = unit <= 0xFFu ? static_cast<char>(unit) : '?';
    }
    name[length] = '\0';
}

} // namespace

EventLineVariant EventLineVariantFor(const GuardEvent& event) {
    switch (event.Kind) {
    case GUARD_EVENT_LOCAL_SPOOF:
        return EVENT_LINE_LOCAL_SPOOF;
    case GUARD_EVENT_INBOUND_SPOOF:
        return EVENT_LINE_INBOUND_SPOOF;
    case GUARD_EVENT_ARP_SCAN: {
        uint16_t firstUnit;
        memcpy(&firstUnit, &event.ProcessName[0], sizeof(firstUnit));
        return firstUnit != 0 ? EVENT_LINE_PROGRAM_SCAN : EVENT_LINE_NETWORK_SCAN;
    }
    default:
        return EVENT_LINE_NONE;
    }
}

size_t FormatEventLine(EventLineVariant variant, const EventCalendarTime& time, const GuardEvent& event,
                       char* line, size_t size) {
    if (size == 0) {
        return 0;
    }
    line[0] = '\0';
    if (size > EVENT_LINE_BUFFER_SIZE) {
        size = EVENT_LINE_BUFFER_SIZE;
    }
    char when[32];
    FormatTime(time, when);
    char name[PROCESS_NAME_MAX_CHARS + 1];
    NarrowProcessName(event, name);
    const uint64_t processId = event.ProcessId;
    const uint8_t* ip = event.Ip.Bytes;
    const uint8_t* mac = event.Mac.Bytes;

    int written = 0;
    switch (variant) {
    case EVENT_LINE_PROGRAM_SCAN:
        written = snprintf(line, size, "[1][%s] Program %s (PID=%" PRIu64 ") use ARP SCAN network.", when,
                           name, processId);
        break;
    case EVENT_LINE_NETWORK_SCAN:
        written = snprintf(line, size,
                           "[1][%s] Find ARP scan this network from IP=%d.%d.%d.%d, "
                           "MAC=%02X-%02X-%02X-%02X-%02X-%02X.",
                           when, ip[0], ip[1], ip[2], ip[3], mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
        break;
    case EVENT_LINE_INBOUND_SPOOF:
        written = snprintf(line, size,
                           "[2][%s] In ARP attack, ARP Spoofing from IP=%d.%d.%d.%d, "
                           "MAC=%02X-%02X-%02X-%02X-%02X-%02X.",
                           when, ip[0], ip[1], ip[2], ip[3], mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
        break;
    case EVENT_LINE_LOCAL_SPOOF:
        written =
            snprintf(line, size,
                     "[3][%s] Program %s (PID=%" PRIu64 ") send ARP spoofing packet, Dest IP=%d.%d.%d.%d, "
                     "MAC=%02X-%02X-%02X-%02X-%02X-%02X.",
                     when, name, processId, ip[0], ip[1], ip[2], ip[3], mac[0], mac[1], mac[2], mac[3],
                     mac[4], mac[5]);
        break;
    default:
        return 0;
    }
    if (written < 0) {
        line[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(written) < size ? static_cast<size_t>(written) : size - 1;
}

size_t FormatEventLineForRecord(const GuardEvent& event, char* line, size_t size) {
    return FormatEventLine(EventLineVariantFor(event), EventTimeToLocal(event.Time), event, line, size);
}
