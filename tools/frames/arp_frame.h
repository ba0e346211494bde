// Building Ethernet ARP frames and reading and writing addresses as text, for host tools and tests.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/zelk_records.h"

namespace zelk {

using Frame = std::array<uint8_t, 42>;

enum class ArpOperation : uint16_t { Request = 1, Reply = 2 };

// The addresses of one ARP frame; the Ethernet source is the sender's unless set apart.
struct ArpFrameFields {
    ArpOperation Operation = ArpOperation::Reply;
    MacAddress EthernetDestination{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    std::optional<MacAddress> EthernetSource;
    MacAddress SenderMac{};
    Ipv4Address SenderIp{};
    MacAddress TargetMac{};
    Ipv4Address TargetIp{};
};

// A 42-byte Ethernet II ARP frame (IPv4 over Ethernet) with the given addresses.
Frame BuildArpFrame(const ArpFrameFields& fields);

// "00-1A-2B-3C-4D-5E", as the log lines write MAC addresses.
std::string FormatMac(const MacAddress& mac);
// "192.168.1.10".
std::string FormatIpv4(const Ipv4Address& ip);
// Accepts "00:1a:2b:3c:4d:5e" or "00-1A-2B-3C-4D-5E".
std::optional<MacAddress> ParseMac(std::string_view text);
// Accepts dotted decimal only, four parts each 0 to 255.
std::optional<Ipv4Address> ParseIpv4(std::string_view text);

// For literals in tests and tools; aborts on malformed text, which is a programming error there.
MacAddress Mac(std::string_view text);
Ipv4Address Ip(std::string_view text);

} // namespace zelk
