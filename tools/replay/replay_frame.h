// What the driver would carry for one captured record: the Ethernet frame and its direction. Ethernet
// captures hold the frame itself; Linux cooked captures (tcpdump -i any) keep only the sender's address
// and the protocol in front of the payload, but they record whether the host sent the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/zelk_records.h"
#include "driver/guard/arp_guard.h"

namespace zelk {

// The capture link types that carry Ethernet frames, by their numbers in capture files.
enum class CaptureLinkType : int { Ethernet = 1, LinuxCooked = 113, LinuxCooked2 = 276 };

// The link type of a capture file's number, or nothing when frames of that type cannot be replayed.
std::optional<CaptureLinkType> CaptureLinkTypeFromNumber(int number);

struct ReplayFrame {
    GuardDirection Direction = GUARD_DIR_INBOUND;
    std::vector<uint8_t> Bytes; // the Ethernet frame as the guard sees it
};

// Rebuilds the Ethernet frame of one captured record into `frame`. False when the record holds no
// Ethernet frame: a cooked header cut short, or one of another device type (the loopback, a tunnel).
// A rebuilt frame's destination is all zero, since a cooked header does not keep it; the guard never
// reads it. In Ethernet captures a frame from `hostMac` (all zero: unknown) is outbound.
bool RebuildEthernetFrame(CaptureLinkType type, const uint8_t* data, size_t length, const MacAddress& hostMac,
                          ReplayFrame* frame);

} // namespace zelk
