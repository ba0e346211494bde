#include "agent/core/event_reader.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "service/files/event_time.h"

namespace {

// Appends to a zero-terminated UTF-16 buffer, cutting what does not fit.
class TextWriter {
public:
    TextWriter(char16_t* buffer, size_t capacity) : m_buffer(buffer), m_capacity(capacity) {
        m_buffer[0] = 0;
    }

    void Ascii(const char* text) {
        for (; *text != 0; ++text) {
            Unit(static_cast<char16_t>(static_cast<unsigned char>(*text)));
        }
    }

    // The units of `text` up to its first NUL, never more than `count`.
    void Units(const uint16_t* text, size_t count) {
        for (size_t i = 0; i < count && text[i] != 0; ++i) {
            Unit(static_cast<char16_t>(text[i]));
        }
    }

private:
    void Unit(char16_t unit) {
        if (m_length + 1 < m_capacity) {
            m_buffer[m_length++] = unit;
            m_buffer[m_length] = 0;
        }
    }

    char16_t* m_buffer;
    size_t m_capacity;
    size_t m_length = 0;
};

bool ProcessNameEmpty(const GuardEvent& event) {
    return event.ProcessName[0] == 0;
}

void WriteProcessName(TextWriter& writer, const GuardEvent& event) {
    uint16_t name[GUARD_PROCESS_NAME_UNITS];
    memcpy(name, event.ProcessName, sizeof(name)); // the record is packed: no aligned access into it
    writer.Units(name, GUARD_PROCESS_NAME_UNITS);
}

// "IP=192.168.1.10, MAC=00-1A-2B-3C-4D-5E."
void WriteAddresses(TextWriter& writer, const GuardEvent& event) {
    const uint8_t* ip = event.Ip.Bytes;
    const uint8_t* mac = event.Mac.Bytes;
    char text[64];
    snprintf(text, sizeof(text), "IP=%u.%u.%u.%u, MAC=%02X-%02X-%02X-%02X-%02X-%02X.", ip[0], ip[1], ip[2],
             ip[3], mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    writer.Ascii(text);
}

void WriteProcessId(TextWriter& writer, const char* prefix, uint64_t processId, const char* suffix) {
    char text[96];
    snprintf(text, sizeof(text), "%s%" PRIu64 "%s", prefix, processId, suffix);
    writer.Ascii(text);
}

} // namespace

void FormatEventTime(uint64_t time, char16_t (&timeText)[EVENT_TIME_TEXT_UNITS]) {
    const EventCalendarTime local = EventTimeToLocal(time);
    char text[EVENT_TIME_TEXT_UNITS];
    if (local.Known) {
        snprintf(text, sizeof(text), "%04d/%02d/%02d %02d:%02d:%02d", local.Year, local.Month, local.Day,
                 local.Hour, local.Minute, local.Second);
    } else {
        snprintf(text, sizeof(text), "%" PRIu64, time);
    }
    TextWriter writer(timeText, EVENT_TIME_TEXT_UNITS);
    writer.Ascii(text);
}

bool FormatEventText(const GuardEvent& event, char16_t (&eventText)[EVENT_TEXT_UNITS]) {
    TextWriter writer(eventText, EVENT_TEXT_UNITS);
    const uint64_t processId = event.ProcessId;
    switch (event.Kind) {
    case GUARD_EVENT_LOCAL_SPOOF:
        writer.Ascii("Program ");
        if (ProcessNameEmpty(event)) {
            writer.Ascii("System");
        } else {
            WriteProcessName(writer, event);
        }
        WriteProcessId(writer, " (PID=", processId, ") send ARP spoofing packet, Dest ");
        WriteAddresses(writer, event);
        return true;
    case GUARD_EVENT_INBOUND_SPOOF:
        writer.Ascii("In ARP attack, ARP Spoofing from ");
        WriteAddresses(writer, event);
        return true;
    case GUARD_EVENT_ARP_SCAN:
        if (!ProcessNameEmpty(event) && processId != 0) {
            writer.Ascii("Program ");
            WriteProcessName(writer, event);
            WriteProcessId(writer, " (PID=", processId, ") use ARP SCAN network.");
        } else {
            writer.Ascii("Find ARP scan this network from ");
            WriteAddresses(writer, event);
        }
        return false;
    default:
        return false;
    }
}

EventPass ReadNewEventsFromBytes(const uint8_t* bytes, size_t length, int64_t& lastEventTime,
                                 char16_t (&lastEvent)[EVENT_TEXT_UNITS],
                                 const std::function<void(const EventRow&)>& addRow) {
    EventPass pass{false, false};
    const size_t count = length / GUARD_EVENT_SIZE;
    EventRow row;
    for (size_t i = 0; i < count; ++i) {
        GuardEvent event;
        memcpy(&event, bytes + i * GUARD_EVENT_SIZE, GUARD_EVENT_SIZE);
        const int64_t time = static_cast<int64_t>(event.Time);
        if (time <= lastEventTime) {
            continue;
        }
        lastEventTime = time;
        FormatEventTime(event.Time, row.timeText);
        row.alert = FormatEventText(event, row.eventText);
        pass.alerted = pass.alerted || row.alert;
        memcpy(lastEvent, row.eventText, sizeof(lastEvent));
        addRow(row);
        pass.added = true;
    }
    return pass;
}
