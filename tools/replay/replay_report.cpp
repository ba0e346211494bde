#include "tools/replay/replay_report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "tools/frames/arp_frame.h"

namespace zelk {

namespace {

const char* DirectionName(GuardDirection direction) {
    return direction == GUARD_DIR_OUTBOUND ? "outbound" : "inbound";
}

std::string ProcessName(const GuardEvent& record) {
    std::string name;
    for (size_t i = 0; i < GUARD_PROCESS_NAME_UNITS; ++i) {
        uint16_t unit;
        std::memcpy(&unit, &record.ProcessName[i], sizeof(unit));
        if (unit == 0) {
            break;
        }
        name.push_back(static_cast<char>(unit <= 0xFFu ? unit : '?'));
    }
    return name;
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

} // namespace

std::string FormatReplayText(const ReplayResult& result) {
    std::string text;
    for (const ReplayDrop& drop : result.Drops) {
        text += "frame " + Number(drop.Frame) + " " + DirectionName(drop.Direction) +
                " dropped: " + drop.Reason + "\n";
    }
    uint64_t byKind[4] = {};
    for (const ReplayEvent& event : result.Events) {
        text += event.Line + "\n";
        if (event.Record.Kind < 4) {
            ++byKind[event.Record.Kind];
        }
    }
    text += Number(result.Frames) + " frames, " + Number(result.ArpFrames) + " ARP frames; dropped " +
            Number(result.DroppedInbound) + " inbound, " + Number(result.DroppedOutbound) +
            " outbound; events: " + Number(byKind[GUARD_EVENT_LOCAL_SPOOF]) + " local spoofing (kind 1), " +
            Number(byKind[GUARD_EVENT_INBOUND_SPOOF]) + " inbound spoofing (kind 2), " +
            Number(byKind[GUARD_EVENT_ARP_SCAN]) + " ARP scan (kind 3)\n";
    return text;
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04X", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string FormatReplayJson(const ReplayResult& result) {
    std::string json = "{\"frames\": " + Number(result.Frames) +
                       ", \"arp_frames\": " + Number(result.ArpFrames) +
                       ", \"dropped\": {\"inbound\": " + Number(result.DroppedInbound) +
                       ", \"outbound\": " + Number(result.DroppedOutbound) + "},\n \"drops\": [";
    const char* separator = "";
    for (const ReplayDrop& drop : result.Drops) {
        json += std::string(separator) + "\n  {\"frame\": " + Number(drop.Frame) + ", \"direction\": \"" +
                DirectionName(drop.Direction) + "\", \"reason\": " + JsonString(drop.Reason) + "}";
        separator = ",";
    }
    json += "],\n \"events\": [";
    separator = "";
    for (const ReplayEvent& event : result.Events) {
        const GuardEvent& record = event.Record;
        json += std::string(separator) + "\n  {\"kind\": " + Number(record.Kind) +
                ", \"time\": " + Number(record.Time) + ", \"mac\": \"" + FormatMac(record.Mac) +
                "\", \"ip\": \"" + FormatIpv4(record.Ip) + "\", \"process_id\": " + Number(record.ProcessId) +
                ", \"process_name\": " + JsonString(ProcessName(record)) +
                ", \"line\": " + JsonString(event.Line) + ", \"frame\": " + Number(event.Frame) +
                ", \"direction\": \"" + DirectionName(event.Direction) + "\"}";
        separator = ",";
    }
    return json + "]}\n";
}

} // namespace zelk
