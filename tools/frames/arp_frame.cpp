#include "tools/frames/arp_frame.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zelk {

Frame BuildArpFrame(const ArpFrameFields& fields) {
    Frame frame{};
    const MacAddress source = fields.EthernetSource.value_or(fields.SenderMac);
    std::memcpy(&frame[0], fields.EthernetDestination.Bytes, 6);
    std::memcpy(&frame[6], source.Bytes, 6);
    frame[12] = 0x08; // EtherType ARP
    frame[13] = 0x06;
    frame[14] = 0x00; // hardware type Ethernet
    frame[15] = 0x01;
    frame[16] = 0x08; // protocol type IPv4
    frame[17] = 0x00;
    frame[18] = 6;
    frame[19] = 4;
    frame[20] = 0;
    frame[21] = static_cast<uint8_t>(fields.Operation);
    std::memcpy(&frame[22], fields.SenderMac.Bytes, 6);
    std::memcpy(&frame[28], fields.SenderIp.Bytes, 4);
    std::memcpy(&frame[32], fields.TargetMac.Bytes, 6);
    std::memcpy(&frame[38], fields.TargetIp.Bytes, 4);
    return frame;
}

std::string FormatMac(const MacAddress& mac) {
    char text[18];
    std::snprintf(text, sizeof(text), "%02X-%02X-%02X-%02X-%02X-%02X", mac.Bytes[0], mac.Bytes[1],
                  mac.Bytes[2], mac.Bytes[3], mac.Bytes[4], mac.Bytes[5]);
    return text;
}

std::string FormatIpv4(const Ipv4Address& ip) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", ip.Bytes[0], ip.Bytes[1], ip.Bytes[2], ip.Bytes[3]);
    return text;
}

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}
} // namespace

std::optional<MacAddress> ParseMac(std::string_view text) {
    if (text.size() != 17) {
        return std::nullopt;
    }
    const char separator = text[2];
    if (separator != ':' && separator != '-') {
        return std::nullopt;
    }
    MacAddress mac{};
    for (size_t i = 0; i < 6; ++i) {
        const int high = HexDigit(text[i * 3]);
        const int low = HexDigit(text[i * 3 + 1]);
        if (high < 0 || low < 0 || (i < 5 && text[i * 3 + 2] != separator)) {
            return std::nullopt;
        }
        mac.Bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return mac;
}

std::optional<Ipv4Address> ParseIpv4(std::string_view text) {
    Ipv4Address ip{};
    size_t position = 0;
    for (size_t part = 0; part < 4; ++part) {
        if (part > 0) {
            if (position >= text.size() || text[position] != '.') {
                return std::nullopt;
            }
            ++position;
        }
        unsigned value = 0;
        size_t digits = 0;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(text[position] - '0');
            ++position;
            ++digits;
        }
        if (digits == 0 || value > 255) {
            return std::nullopt;
        }
        ip.Bytes[part] = static_cast<uint8_t>(value);
    }
    if (position != text.size()) {
        return std::nullopt;
    }
    return ip;
}

MacAddress Mac(std::string_view text) {
    const auto mac = ParseMac(text);
    if (!mac) {
        std::fprintf(stderr, "malformed MAC literal '%.*s'\n", static_cast<int>(text.size()), text.data());
        std::abort();
    }
    return *mac;
}

Ipv4Address Ip(std::string_view text) {
    const auto ip = ParseIpv4(text);
    if (!ip) {
        std::fprintf(stderr, "malformed IPv4 literal '%.*s'\n", static_cast<int>(text.size()), text.data());
        std::abort();
    }
    return *ip;
}

} // namespace zelk
