// Frames for the packet tests: a trusted gateway, an attacker claiming it, the host's own traffic.
#pragma once

#include <vector>

#include "common/zelk_records.h"
#include "driver/guard/guard_tables.h"
#include "tools/frames/arp_frame.h"

namespace zelk::test {

using Bytes = std::vector<UCHAR>;

inline const MacAddress kHostMac = Mac("00-0C-29-10-20-01");
inline const Ipv4Address kHostIp = Ip("192.168.1.100");
inline const MacAddress kGatewayMac = Mac("00-50-56-C0-00-01");
inline const Ipv4Address kGatewayIp = Ip("192.168.1.1");
inline const MacAddress kAttackerMac = Mac("00-1A-2B-3C-4D-5E");

// An ARP frame padded to the 60 bytes of a minimum Ethernet frame.
inline Bytes PaddedArpFrame(const ArpFrameFields& fields) {
    const Frame frame = BuildArpFrame(fields);
    Bytes bytes(frame.begin(), frame.end());
    bytes.resize(60, 0);
    return bytes;
}

// Received: the attacker tells the host that the gateway's address is at its MAC.
inline Bytes SpoofedGatewayReply() {
    return PaddedArpFrame(
        {ArpOperation::Reply, kHostMac, std::nullopt, kAttackerMac, kGatewayIp, kHostMac, kHostIp});
}

// Received: the gateway's true reply.
inline Bytes GatewayReply() {
    return PaddedArpFrame(
        {ArpOperation::Reply, kHostMac, std::nullopt, kGatewayMac, kGatewayIp, kHostMac, kHostIp});
}

// Sent: a reply whose Ethernet source is the host's but whose sender MAC is another station's.
inline Bytes ForgedOutboundReply() {
    return PaddedArpFrame(
        {ArpOperation::Reply, kGatewayMac, kHostMac, kAttackerMac, kHostIp, kGatewayMac, kGatewayIp});
}

// Sent: the host asks for the gateway.
inline Bytes HostRequest() {
    return PaddedArpFrame({ArpOperation::Request,
                           MacAddress{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                           std::nullopt,
                           kHostMac,
                           kHostIp,
                           {},
                           kGatewayIp});
}

// An IPv4 frame of `length` bytes with a recognisable payload.
inline Bytes Ipv4Frame(size_t length = 98) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<UCHAR>(i * 7 + 1);
    }
    bytes[12] = 0x08;
    bytes[13] = 0x00;
    return bytes;
}

// The gateway is trusted at its true MAC address.
inline void TrustGateway() {
    const ArpBinding binding{kGatewayIp, kGatewayMac};
    BindingTableReplace(&binding, sizeof(binding));
}

} // namespace zelk::test
