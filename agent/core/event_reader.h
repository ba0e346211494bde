// The agent's reader of the service's event file: which records a pass shows, and the two texts of each
// row. It works on the bytes of the file and builds without any user interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "common/zelk_records.h"

#define EVENT_TIME_TEXT_UNITS 128u // the time column, terminator included
#define EVENT_TEXT_UNITS 1024u     // the event column and the last event's text, terminator included

// One row of the event list: the time column, the event column and whether it brings the window up.
struct EventRow {
    char16_t timeText[EVENT_TIME_TEXT_UNITS]; // local "YYYY/MM/DD hh:mm:ss", zero-terminated
    char16_t eventText[EVENT_TEXT_UNITS];     // the description, zero-terminated; empty for unknown kinds
    bool alert;                               // kinds 1 and 2, the attacks
};

// What one pass over the file found.
struct EventPass {
    bool added;   // at least one row was added
    bool alerted; // at least one added row is an attack
};

// The local calendar time of an event Time. A Time without a local breakdown shows as its raw number.
void FormatEventTime(uint64_t time, char16_t (&timeText)[EVENT_TIME_TEXT_UNITS]);
// The description of an event; returns its alert mark.
bool FormatEventText(const GuardEvent& event, char16_t (&eventText)[EVENT_TEXT_UNITS]);

// One pass over the bytes of an event file: every whole record whose Time, taken as signed, is greater than
// every Time shown so far (`lastEventTime`, the dialog's m_lastEventTime) becomes a row, handed to `addRow`
// in file order. Each added row moves `lastEventTime` to its Time and copies its text into `lastEvent` (the
// dialog's m_szLastEvent). A trailing part of a record is ignored.
EventPass ReadNewEventsFromBytes(const uint8_t* bytes, size_t length, int64_t& lastEventTime,
                                 char16_t (&lastEvent)[EVENT_TEXT_UNITS],
                                 const std::function<void(const EventRow&)>& addRow);
