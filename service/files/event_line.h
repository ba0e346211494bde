// The four event lines that the service writes to the debugger output and the log, one per recorded
// finding. The tag in front is not the event kind: scans are tagged 1, inbound spoofing 2, spoofing by
// a local program 3.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/zelk_records.h"
#include "service/files/event_time.h"

enum EventLineVariant : uint32_t {
    EVENT_LINE_NONE = 0,          // a record of no known kind has no line
    EVENT_LINE_PROGRAM_SCAN = 1,  // [1] scan by a local program
    EVENT_LINE_NETWORK_SCAN = 2,  // [1] scan seen on the network
    EVENT_LINE_INBOUND_SPOOF = 3, // [2] inbound ARP spoofing
    EVENT_LINE_LOCAL_SPOOF = 4,   // [3] spoofed ARP sent by a local program
};

// A line has at most 2047 characters and no line end; a buffer of 2048 always holds it.
#define EVENT_LINE_MAX_CHARS 2047u
#define EVENT_LINE_BUFFER_SIZE (EVENT_LINE_MAX_CHARS + 1u)

// Stands where the date and time go when the event's local time cannot be worked out.
#define EVENT_TIME_UNKNOWN_TEXT "----/--/-- --:--:--"

// The line a record gets: kind 1 the local spoofing line, kind 2 the inbound spoofing line, kind 3 the
// program scan line when the record names a process and the network scan line when it does not.
EventLineVariant EventLineVariantFor(const GuardEvent& event);

// Writes the `variant` line for `event` at `time` into `line` (`size` bytes, zero-terminated, cut to
// fit) and returns its length. EVENT_LINE_NONE gives an empty line; a size of 0 writes nothing.
// The process name shows its first 31 units at most, up to its terminator; a unit above 255 shows as '?'.
size_t FormatEventLine(EventLineVariant variant, const EventCalendarTime& time, const GuardEvent& event,
                       char* line, size_t size);

// The line for a record as the service would log it: its variant, at its local time.
size_t FormatEventLineForRecord(const GuardEvent& event, char* line, size_t size);
