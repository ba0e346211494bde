// The simulated host's packet pools and descriptors. A descriptor is one block: the packet with the
// pool's protocol-reserved bytes, its out-of-band data, its per-packet information, and the host's own
// note of whether a stack slot is left (the answer of NdisIMGetCurrentPacketStack for that packet).
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>

#include "ndis_host_internal.h"

namespace ndis_host {
namespace {

struct Pool {
    UINT Limit; // descriptors plus overflow descriptors
    UINT ProtocolReserved;
    std::atomic<UINT> InUse{0};
};

struct PacketTail {
    NDIS_PACKET_STACK Stack;
    bool SlotLeft;
};

std::atomic<int64_t> g_Pools{0};
std::atomic<int64_t> g_Packets{0};

// Buffers that cannot be mapped; the count lets the usual case skip the lock.
std::mutex g_UnmappableMutex;
std::set<PNDIS_BUFFER> g_Unmappable;
std::atomic<size_t> g_UnmappableCount{0};

size_t RoundUp(size_t size) {
    return (size + 7) & ~static_cast<size_t>(7);
}

size_t OobOffset(const Pool* pool) {
    const size_t reserved = pool->ProtocolReserved == 0 ? 1 : pool->ProtocolReserved;
    return RoundUp(offsetof(NDIS_PACKET, ProtocolReserved) + reserved);
}

PacketTail* TailOf(PNDIS_PACKET packet) {
    return reinterpret_cast<PacketTail*>(reinterpret_cast<PUCHAR>(NDIS_PACKET_EXTENSION_FROM_PACKET(packet)) +
                                         sizeof(NDIS_PACKET_EXTENSION));
}

void AllocatePacket(PNDIS_STATUS status, PNDIS_PACKET* packet, NDIS_HANDLE poolHandle) {
    auto* pool = static_cast<Pool*>(poolHandle);
    *packet = nullptr;
    UINT inUse = pool->InUse.load();
    do {
        if (inUse >= pool->Limit) {
            *status = NDIS_STATUS_RESOURCES;
            return;
        }
    } while (!pool->InUse.compare_exchange_weak(inUse, inUse + 1));
    const size_t oob = OobOffset(pool);
    const size_t size =
        oob + sizeof(NDIS_PACKET_OOB_DATA) + sizeof(NDIS_PACKET_EXTENSION) + sizeof(PacketTail);
    auto* block = static_cast<PNDIS_PACKET>(std::calloc(1, size));
    if (block == nullptr) {
        pool->InUse.fetch_sub(1);
        *status = NDIS_STATUS_RESOURCES;
        return;
    }
    block->Private.Pool = pool;
    block->Private.NdisPacketOobOffset = static_cast<USHORT>(oob);
    TailOf(block)->SlotLeft = true;
    g_Packets.fetch_add(1);
    *packet = block;
    *status = NDIS_STATUS_SUCCESS;
}

void FreePacket(PNDIS_PACKET packet) {
    static_cast<Pool*>(packet->Private.Pool)->InUse.fetch_sub(1);
    g_Packets.fetch_sub(1);
    std::free(packet);
}

} // namespace

PNDIS_PACKET AllocateOwnPacket() {
    // The packets of the protocols above and of the lower adapter: not the driver's, so not counted.
    static Pool own{0xFFFFFFFFu, 16};
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    PNDIS_PACKET packet = nullptr;
    AllocatePacket(&status, &packet, &own);
    g_Packets.fetch_sub(1);
    return packet;
}

void FreeOwnPacket(PNDIS_PACKET packet) {
    g_Packets.fetch_add(1);
    FreePacket(packet);
}

void ResetPackets() {
    std::lock_guard<std::mutex> guard(g_UnmappableMutex);
    g_Unmappable.clear();
    g_UnmappableCount.store(0);
}

} // namespace ndis_host

using namespace ndis_host;

NdisHostHoldings NdisHostHoldingsForTest() {
    return NdisHostHoldings{MemoryBlocks(), g_Pools.load(), g_Packets.load(), ConfigurationHandles()};
}

VOID NdisAllocatePacketPoolEx(PNDIS_STATUS status, PNDIS_HANDLE poolHandle, UINT descriptors,
                              UINT overflowDescriptors, UINT protocolReservedLength) {
    EnterNdisCall("NdisAllocatePacketPoolEx", false);
    *poolHandle = nullptr;
    *status = TakeChosenOutcome(NdisHostCallAllocatePacketPool);
    if (*status != NDIS_STATUS_SUCCESS) {
        return;
    }
    auto* pool = new Pool;
    pool->Limit = descriptors + overflowDescriptors;
    pool->ProtocolReserved = protocolReservedLength;
    g_Pools.fetch_add(1);
    *poolHandle = pool;
}

VOID NdisFreePacketPool(NDIS_HANDLE poolHandle) {
    EnterNdisCall("NdisFreePacketPool", false);
    auto* pool = static_cast<Pool*>(poolHandle);
    if (pool->InUse.load() != 0) {
        Violation("a packet pool was freed with descriptors still in use");
    }
    g_Pools.fetch_sub(1);
    delete pool;
}

VOID NdisAllocatePacket(PNDIS_STATUS status, PNDIS_PACKET* packet, NDIS_HANDLE poolHandle) {
    EnterNdisCall("NdisAllocatePacket", false);
    AllocatePacket(status, packet, poolHandle);
}

VOID NdisDprAllocatePacket(PNDIS_STATUS status, PNDIS_PACKET* packet, NDIS_HANDLE poolHandle) {
    EnterNdisCall("NdisDprAllocatePacket", false);
    AllocatePacket(status, packet, poolHandle);
}

VOID NdisFreePacket(PNDIS_PACKET packet) {
    EnterNdisCall("NdisFreePacket", false);
    FreePacket(packet);
}

VOID NdisDprFreePacket(PNDIS_PACKET packet) {
    EnterNdisCall("NdisDprFreePacket", false);
    FreePacket(packet);
}

PNDIS_PACKET_STACK NdisIMGetCurrentPacketStack(PNDIS_PACKET packet, BOOLEAN* stacksRemaining) {
    PacketTail* tail = TailOf(packet);
    *stacksRemaining = tail->SlotLeft ? TRUE : FALSE;
    return &tail->Stack;
}

void NdisHostSetPacketStackSlotLeftForTest(PNDIS_PACKET packet, bool slotLeft) {
    TailOf(packet)->SlotLeft = slotLeft;
}

VOID NdisIMCopySendPerPacketInfo(PNDIS_PACKET destination, PNDIS_PACKET source) {
    *NDIS_PACKET_EXTENSION_FROM_PACKET(destination) = *NDIS_PACKET_EXTENSION_FROM_PACKET(source);
}

VOID NdisIMCopySendCompletePerPacketInfo(PNDIS_PACKET destination, PNDIS_PACKET source) {
    *NDIS_PACKET_EXTENSION_FROM_PACKET(destination) = *NDIS_PACKET_EXTENSION_FROM_PACKET(source);
}

VOID NdisQueryPacket(PNDIS_PACKET packet, PUINT physicalBufferCount, PUINT bufferCount,
                     PNDIS_BUFFER* firstBuffer, PUINT totalPacketLength) {
    UINT count = 0;
    UINT total = 0;
    for (PNDIS_BUFFER buffer = packet->Private.Head; buffer != nullptr; buffer = buffer->Next) {
        ++count;
        total += buffer->Length;
    }
    if (physicalBufferCount != nullptr) {
        *physicalBufferCount = count;
    }
    if (bufferCount != nullptr) {
        *bufferCount = count;
    }
    if (firstBuffer != nullptr) {
        *firstBuffer = packet->Private.Head;
    }
    if (totalPacketLength != nullptr) {
        *totalPacketLength = total;
    }
}

VOID NdisGetNextBuffer(PNDIS_BUFFER currentBuffer, PNDIS_BUFFER* nextBuffer) {
    *nextBuffer = currentBuffer->Next;
}

VOID NdisQueryBufferSafe(PNDIS_BUFFER buffer, PVOID* virtualAddress, PUINT length, UINT /*priority*/) {
    *virtualAddress = buffer->VirtualAddress;
    *length = buffer->Length;
    if (g_UnmappableCount.load() != 0) {
        std::lock_guard<std::mutex> guard(g_UnmappableMutex);
        if (g_Unmappable.count(buffer) != 0) {
            *virtualAddress = nullptr;
        }
    }
}

void NdisHostSetBufferUnmappableForTest(PNDIS_BUFFER buffer, bool unmappable) {
    std::lock_guard<std::mutex> guard(g_UnmappableMutex);
    if (unmappable) {
        g_Unmappable.insert(buffer);
    } else {
        g_Unmappable.erase(buffer);
    }
    g_UnmappableCount.store(g_Unmappable.size());
}
