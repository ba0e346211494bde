// Packets of the simulated NDIS 5 host: a packet descriptor over a chain of buffers, its out-of-band
// data and per-packet information, packet pools with their descriptor limits, and the packet macros.
// Whether a packet still has a stack slot left is the host's answer chosen per packet.
#pragma once

#include "ndis_types.h"

// One piece of a frame: a flat run of bytes and the next piece.
struct NDIS_BUFFER {
    NDIS_BUFFER* Next;
    PVOID VirtualAddress;
    UINT Length;
};
typedef NDIS_BUFFER* PNDIS_BUFFER;

struct NDIS_PACKET_PRIVATE {
    UINT PhysicalCount;
    UINT TotalLength;
    PNDIS_BUFFER Head;
    PNDIS_BUFFER Tail;
    NDIS_HANDLE Pool;
    UINT Count;
    UINT Flags;
    BOOLEAN ValidCounts;
    UCHAR NdisPacketFlags;
    USHORT NdisPacketOobOffset; // from the descriptor's start to its NDIS_PACKET_OOB_DATA
};

// A packet descriptor. ProtocolReserved runs on for as many bytes as the pool was created with.
struct NDIS_PACKET {
    NDIS_PACKET_PRIVATE Private;
    union {
        UCHAR MiniportReserved[2 * sizeof(PVOID)];
        UCHAR WrapperReserved[2 * sizeof(PVOID)];
    };
    union {
        UCHAR MiniportReservedEx[3 * sizeof(PVOID)];
        UCHAR WrapperReservedEx[3 * sizeof(PVOID)];
    };
    UCHAR MacReserved[4 * sizeof(PVOID)];
    ULONG_PTR Reserved[2];
    alignas(sizeof(PVOID)) UCHAR ProtocolReserved[1];
};
typedef NDIS_PACKET* PNDIS_PACKET;
typedef PNDIS_PACKET* PPNDIS_PACKET;

struct NDIS_PACKET_OOB_DATA {
    ULONGLONG TimeToSend;
    ULONGLONG TimeReceived;
    UINT HeaderSize;
    UINT SizeMediaSpecificInfo;
    PVOID MediaSpecificInformation;
    NDIS_STATUS Status;
};
typedef NDIS_PACKET_OOB_DATA* PNDIS_PACKET_OOB_DATA;

enum NDIS_PER_PACKET_INFO {
    TcpIpChecksumPacketInfo,
    IpSecPacketInfo,
    TcpLargeSendPacketInfo,
    ClassificationHandlePacketInfo,
    NdisReserved,
    ScatterGatherListPacketInfo,
    Ieee8021QInfo,
    OriginalPacketInfo,
    PacketCancelId,
    MaxPerPacketInfo,
};

struct NDIS_PACKET_EXTENSION {
    PVOID NdisPacketInfo[MaxPerPacketInfo];
};
typedef NDIS_PACKET_EXTENSION* PNDIS_PACKET_EXTENSION;

// The protocol-stacking area of a packet; what lies in it is the platform's.
struct NDIS_PACKET_STACK {
    ULONG_PTR IMReserved[2];
    ULONG_PTR NdisReserved[4];
};
typedef NDIS_PACKET_STACK* PNDIS_PACKET_STACK;

#define NDIS_OOB_DATA_FROM_PACKET(packet)                                                                    \
    ((PNDIS_PACKET_OOB_DATA)((PUCHAR)(packet) + (packet)->Private.NdisPacketOobOffset))
#define NDIS_PACKET_EXTENSION_FROM_PACKET(packet)                                                            \
    ((PNDIS_PACKET_EXTENSION)((PUCHAR)NDIS_OOB_DATA_FROM_PACKET(packet) + sizeof(NDIS_PACKET_OOB_DATA)))
#define NDIS_PER_PACKET_INFO_FROM_PACKET(packet, infoType)                                                   \
    (NDIS_PACKET_EXTENSION_FROM_PACKET(packet)->NdisPacketInfo[(infoType)])

#define NDIS_GET_ORIGINAL_PACKET(packet)                                                                     \
    ((PNDIS_PACKET)NDIS_PER_PACKET_INFO_FROM_PACKET(packet, OriginalPacketInfo))
#define NDIS_SET_ORIGINAL_PACKET(packet, original)                                                           \
    (NDIS_PER_PACKET_INFO_FROM_PACKET(packet, OriginalPacketInfo) = (PVOID)(original))
#define NDIS_GET_PACKET_HEADER_SIZE(packet) (NDIS_OOB_DATA_FROM_PACKET(packet)->HeaderSize)
#define NDIS_SET_PACKET_HEADER_SIZE(packet, size) (NDIS_OOB_DATA_FROM_PACKET(packet)->HeaderSize = (size))
#define NDIS_GET_PACKET_STATUS(packet) (NDIS_OOB_DATA_FROM_PACKET(packet)->Status)
#define NDIS_SET_PACKET_STATUS(packet, status) (NDIS_OOB_DATA_FROM_PACKET(packet)->Status = (status))
#define NDIS_GET_PACKET_MEDIA_SPECIFIC_INFO(packet, info, size)                                              \
    do {                                                                                                     \
        *(info) = NDIS_OOB_DATA_FROM_PACKET(packet)->MediaSpecificInformation;                               \
        *(size) = NDIS_OOB_DATA_FROM_PACKET(packet)->SizeMediaSpecificInfo;                                  \
    } while (0)
#define NDIS_SET_PACKET_MEDIA_SPECIFIC_INFO(packet, info, size)                                              \
    do {                                                                                                     \
        NDIS_OOB_DATA_FROM_PACKET(packet)->MediaSpecificInformation = (info);                                \
        NDIS_OOB_DATA_FROM_PACKET(packet)->SizeMediaSpecificInfo = (size);                                   \
    } while (0)

#define NdisGetPacketFlags(packet) ((packet)->Private.Flags)
#define NdisSetPacketFlags(packet, flags) ((packet)->Private.Flags |= (flags))
#define NDIS_PACKET_FIRST_NDIS_BUFFER(packet) ((packet)->Private.Head)
#define NDIS_PACKET_LAST_NDIS_BUFFER(packet) ((packet)->Private.Tail)
#define NdisGetPoolFromPacket(packet) ((packet)->Private.Pool)

// The first buffer of the chain, how many there are and the bytes they hold together; any out pointer may be
// null.
VOID NdisQueryPacket(PNDIS_PACKET packet, PUINT physicalBufferCount, PUINT bufferCount,
                     PNDIS_BUFFER* firstBuffer, PUINT totalPacketLength);
VOID NdisGetNextBuffer(PNDIS_BUFFER currentBuffer, PNDIS_BUFFER* nextBuffer);
// The buffer's system address and length; the address is null when the buffer cannot be mapped.
VOID NdisQueryBufferSafe(PNDIS_BUFFER buffer, PVOID* virtualAddress, PUINT length, UINT priority);
enum MM_PAGE_PRIORITY { LowPagePriority = 0, NormalPagePriority = 16, HighPagePriority = 32 };

// A pool of `descriptors` packets plus `overflowDescriptors` more; allocation beyond both fails.
VOID NdisAllocatePacketPoolEx(PNDIS_STATUS status, PNDIS_HANDLE poolHandle, UINT descriptors,
                              UINT overflowDescriptors, UINT protocolReservedLength);
VOID NdisFreePacketPool(NDIS_HANDLE poolHandle);
// A zeroed descriptor with no buffers; NDIS_STATUS_RESOURCES when the pool is exhausted.
VOID NdisAllocatePacket(PNDIS_STATUS status, PNDIS_PACKET* packet, NDIS_HANDLE poolHandle);
VOID NdisDprAllocatePacket(PNDIS_STATUS status, PNDIS_PACKET* packet, NDIS_HANDLE poolHandle);
VOID NdisFreePacket(PNDIS_PACKET packet);
VOID NdisDprFreePacket(PNDIS_PACKET packet);

// The packet's stacking area; *stacksRemaining says whether a driver below may still use one.
PNDIS_PACKET_STACK NdisIMGetCurrentPacketStack(PNDIS_PACKET packet, BOOLEAN* stacksRemaining);
VOID NdisIMCopySendPerPacketInfo(PNDIS_PACKET destination, PNDIS_PACKET source);
VOID NdisIMCopySendCompletePerPacketInfo(PNDIS_PACKET destination, PNDIS_PACKET source);
