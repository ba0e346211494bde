// The guard's entry for the framework's paths: a frame given as a flat buffer or as a packet, a chain of
// buffers. A packet is copied into a buffer of the driver's own only when it holds an ARP frame the
// guard looks at; any other packet is judged from its first bytes where they lie, with no allocation.
#pragma once

#include <zelk_ndis.h>

#include "driver/framework/adapter.h"

// A packet's bytes copied into one allocation of the driver's own.
struct FlattenedPacket {
    PUCHAR Buffer;       // null when there is nothing to inspect
    UINT Length;         // bytes copied
    UINT AllocationSize; // the packet's total length, zero-filled beyond Length
};

// Copies the packet's buffers in chain order; a buffer that cannot be mapped is left out and the bytes
// after it move up. FALSE, with nothing allocated, for an empty packet or when no memory is left.
BOOLEAN FlattenPacket(PNDIS_PACKET packet, FlattenedPacket* flattened);
VOID FreeFlattenedPacket(FlattenedPacket* flattened);

// True when flattening the packet would yield an Ethernet II ARP frame of at least 42 bytes, told from
// the buffers in place (the EtherType may straddle two of them).
BOOLEAN PacketHoldsArpFrame(PNDIS_PACKET packet);

// A flat buffer with a non-zero length is inspected in place; otherwise the packet, if any. `adapter`
// supplies the own MAC address and may be null.
GuardVerdict ArpGuardInspect(const Adapter* adapter, const UCHAR* buffer, UINT length, PNDIS_PACKET packet,
                             GuardDirection direction);
