#include "driver/framework/packet_inspection.h"

namespace {

const UINT ETHER_TYPE_OFFSET = 12;

// Calls visit(bytes, length) for each buffer that flattening copies, in chain order: those that can be
// mapped, up to the first whose bytes would run past the packet's total length. visit returns FALSE to
// stop early.
template <typename Visit> VOID ForEachCopiedBuffer(PNDIS_PACKET packet, UINT totalLength, Visit visit) {
    PNDIS_BUFFER buffer = nullptr;
    NdisQueryPacket(packet, nullptr, nullptr, &buffer, nullptr);
    UINT copied = 0;
    while (buffer != nullptr) {
        PVOID address = nullptr;
        UINT length = 0;
        NdisQueryBufferSafe(buffer, &address, &length, NormalPagePriority);
        if (address != nullptr) {
            if (length > totalLength - copied) {
                return;
            }
            if (!visit(static_cast<const UCHAR*>(address), length)) {
                return;
            }
            copied += length;
        }
        NdisGetNextBuffer(buffer, &buffer);
    }
}

} // namespace

BOOLEAN FlattenPacket(PNDIS_PACKET packet, FlattenedPacket* flattened) {
    *flattened = FlattenedPacket{nullptr, 0, 0};
    UINT totalLength = 0;
    NdisQueryPacket(packet, nullptr, nullptr, nullptr, &totalLength);
    if (totalLength == 0) {
        return FALSE;
    }
    PVOID memory = nullptr;
    NDIS_PHYSICAL_ADDRESS noLimit = NDIS_PHYSICAL_ADDRESS_CONST(-1, -1);
    if (NdisAllocateMemory(&memory, totalLength, 0, noLimit) != NDIS_STATUS_SUCCESS) {
        return FALSE;
    }
    NdisZeroMemory(memory, totalLength);
    auto* bytes = static_cast<PUCHAR>(memory);
    UINT copied = 0;
    ForEachCopiedBuffer(packet, totalLength, [&](const UCHAR* source, UINT length) {
        NdisMoveMemory(bytes + copied, source, length);
        copied += length;
        return TRUE;
    });
    *flattened = FlattenedPacket{bytes, copied, totalLength};
    return TRUE;
}

VOID FreeFlattenedPacket(FlattenedPacket* flattened) {
    NdisFreeMemory(flattened->Buffer, flattened->AllocationSize, 0);
    *flattened = FlattenedPacket{nullptr, 0, 0};
}

BOOLEAN PacketHoldsArpFrame(PNDIS_PACKET packet) {
    UINT totalLength = 0;
    NdisQueryPacket(packet, nullptr, nullptr, nullptr, &totalLength);
    if (totalLength < ARP_FRAME_MIN_SIZE) {
        return FALSE;
    }
    UCHAR etherType[2] = {0, 0};
    UINT seen = 0;
    ForEachCopiedBuffer(packet, totalLength, [&](const UCHAR* bytes, UINT length) {
        for (UINT at = ETHER_TYPE_OFFSET; at < ETHER_TYPE_OFFSET + 2; ++at) {
            if (at >= seen && at - seen < length) {
                etherType[at - ETHER_TYPE_OFFSET] = bytes[at - seen];
            }
        }
        seen += length;
        const BOOLEAN notArp = seen >= ETHERNET_HEADER_SIZE && (etherType[0] != 0x08 || etherType[1] != 0x06);
        return !notArp && seen < ARP_FRAME_MIN_SIZE;
    });
    return seen >= ARP_FRAME_MIN_SIZE && etherType[0] == 0x08 && etherType[1] == 0x06;
}

GuardVerdict ArpGuardInspect(const Adapter* adapter, const UCHAR* buffer, UINT length, PNDIS_PACKET packet,
                             GuardDirection direction) {
    const GuardLocalMac* localMac = adapter != nullptr ? &adapter->LocalMac : nullptr;
    if (buffer != nullptr && length != 0) {
        return ArpGuardInspect(localMac, buffer, length, direction);
    }
    // Every frame that is not ARP passes the guard untouched, so only ARP frames are worth a copy.
    if (packet == nullptr || !PacketHoldsArpFrame(packet)) {
        return GUARD_PASS;
    }
    FlattenedPacket flattened;
    if (!FlattenPacket(packet, &flattened)) {
        return GUARD_PASS;
    }
    const GuardVerdict verdict = ArpGuardInspect(localMac, flattened.Buffer, flattened.Length, direction);
    FreeFlattenedPacket(&flattened);
    return verdict;
}
