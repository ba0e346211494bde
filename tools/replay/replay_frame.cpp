#include "tools/replay/replay_frame.h"

#include <cstring>

namespace zelk {

namespace {

const size_t kCookedHeaderSize = 16;
const size_t kCooked2HeaderSize = 20;
const uint16_t kDeviceTypeEthernet = 1; // ARPHRD_ETHER
const uint16_t kPacketOutgoing = 4;     // PACKET_OUTGOING: the host sent it

uint16_t ReadBigEndian16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

// The fields both cooked headers carry, wherever each keeps them.
struct CookedHeader {
    uint16_t PacketType;
    uint16_t DeviceType;
    uint16_t AddressLength;
    const uint8_t* Address;
    const uint8_t* Protocol; // two bytes, wire order
};

bool ReadCookedHeader(CaptureLinkType type, const uint8_t* data, size_t length, CookedHeader* header,
                      size_t* headerSize) {
    if (type == CaptureLinkType::LinuxCooked) {
        if (length < kCookedHeaderSize) {
            return false;
        }
        *header = {ReadBigEndian16(data), ReadBigEndian16(data + 2), ReadBigEndian16(data + 4), data + 6,
                   data + 14};
        *headerSize = kCookedHeaderSize;
        return true;
    }
    if (length < kCooked2HeaderSize) {
        return false;
    }
    *header = {data[10], ReadBigEndian16(data + 8), data[11], data + 12, data};
    *headerSize = kCooked2HeaderSize;
    return true;
}

} // namespace

std::optional<CaptureLinkType> CaptureLinkTypeFromNumber(int number) {
    switch (number) {
    case static_cast<int>(CaptureLinkType::Ethernet):
    case static_cast<int>(CaptureLinkType::LinuxCooked):
    case static_cast<int>(CaptureLinkType::LinuxCooked2):
        return static_cast<CaptureLinkType>(number);
    default:
        return std::nullopt;
    }
}

bool RebuildEthernetFrame(CaptureLinkType type, const uint8_t* data, size_t length, const MacAddress& hostMac,
                          ReplayFrame* frame) {
    frame->Bytes.clear();
    if (type == CaptureLinkType::Ethernet) {
        frame->Bytes.assign(data, data + length);
        const bool fromHost = !MacIsZero(&hostMac) && length >= ETHERNET_HEADER_SIZE &&
                              std::memcmp(data + 6, hostMac.Bytes, sizeof(hostMac.Bytes)) == 0;
        frame->Direction = fromHost ? GUARD_DIR_OUTBOUND : GUARD_DIR_INBOUND;
        return true;
    }

    CookedHeader header;
    size_t headerSize = 0;
    if (!ReadCookedHeader(type, data, length, &header, &headerSize) ||
        header.DeviceType != kDeviceTypeEthernet || header.AddressLength != sizeof(MacAddress::Bytes)) {
        return false;
    }
    frame->Bytes.resize(ETHERNET_HEADER_SIZE + (length - headerSize));
    uint8_t* bytes = frame->Bytes.data();
    std::memset(bytes, 0, 6);
    std::memcpy(bytes + 6, header.Address, 6);
    std::memcpy(bytes + 12, header.Protocol, 2);
    std::memcpy(bytes + ETHERNET_HEADER_SIZE, data + headerSize, length - headerSize);
    frame->Direction = header.PacketType == kPacketOutgoing ? GUARD_DIR_OUTBOUND : GUARD_DIR_INBOUND;
    return true;
}

} // namespace zelk
