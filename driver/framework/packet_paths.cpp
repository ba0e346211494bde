#include "driver/framework/packet_paths.h"

#include "driver/framework/adapter.h"
#include "driver/framework/packet_inspection.h"

namespace {

// A framework descriptor's WrappedPacket: the first pointer-sized word of its reserved area, the
// protocol-reserved area for a send descriptor and the miniport-reserved area for a receive descriptor.
PNDIS_PACKET WrappedPacketOf(const UCHAR* reserved) {
    PNDIS_PACKET wrapped = nullptr;
    NdisMoveMemory(&wrapped, reserved, sizeof(wrapped));
    return wrapped;
}

VOID SetWrappedPacket(UCHAR* reserved, PNDIS_PACKET wrapped) {
    NdisMoveMemory(reserved, &wrapped, sizeof(wrapped));
}

// Counts a send handed down, unless the lower adapter is in low power.
BOOLEAN AcceptSend(Adapter* adapter) {
    NdisAcquireSpinLock(&adapter->Lock);
    const BOOLEAN accepted = !IsLowPower(adapter->ProtocolPowerState);
    if (accepted) {
        ++adapter->PendingSends;
    }
    NdisReleaseSpinLock(&adapter->Lock);
    return accepted;
}

VOID SendFinished(Adapter* adapter) {
    NdisAcquireSpinLock(&adapter->Lock);
    --adapter->PendingSends;
    NdisReleaseSpinLock(&adapter->Lock);
}

VOID SetReceiveIndicated(Adapter* adapter, ULONG processor, BOOLEAN indicated) {
    if (processor < adapter->ProcessorCount) {
        adapter->ReceiveIndicated[processor] = indicated;
    }
}

VOID CopyBufferChain(PNDIS_PACKET destination, PNDIS_PACKET source) {
    NDIS_PACKET_FIRST_NDIS_BUFFER(destination) = NDIS_PACKET_FIRST_NDIS_BUFFER(source);
    NDIS_PACKET_LAST_NDIS_BUFFER(destination) = NDIS_PACKET_LAST_NDIS_BUFFER(source);
}

// Sends the packet down through a descriptor of the send pool. Returns NDIS_STATUS_PENDING when the
// send completes later through ProtocolSendComplete; any other status has finished with the descriptor.
NDIS_STATUS SendThroughDescriptor(Adapter* adapter, PNDIS_PACKET packet) {
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    PNDIS_PACKET descriptor = nullptr;
    NdisAllocatePacket(&status, &descriptor, adapter->SendPacketPool);
    if (status != NDIS_STATUS_SUCCESS) {
        return status;
    }
    SetWrappedPacket(descriptor->ProtocolReserved, packet);
    NdisSetPacketFlags(descriptor, NdisGetPacketFlags(packet));
    CopyBufferChain(descriptor, packet);
    NdisMoveMemory(NDIS_OOB_DATA_FROM_PACKET(descriptor), NDIS_OOB_DATA_FROM_PACKET(packet),
                   sizeof(NDIS_PACKET_OOB_DATA));
    NdisIMCopySendPerPacketInfo(descriptor, packet);
    PVOID mediaInfo = nullptr;
    UINT mediaInfoSize = 0;
    NDIS_GET_PACKET_MEDIA_SPECIFIC_INFO(packet, &mediaInfo, &mediaInfoSize);
    if (mediaInfo != nullptr || mediaInfoSize != 0) {
        NDIS_SET_PACKET_MEDIA_SPECIFIC_INFO(descriptor, mediaInfo, mediaInfoSize);
    }
    NdisSend(&status, adapter->BindingHandle, descriptor);
    if (status == NDIS_STATUS_PENDING) {
        return status;
    }
    NdisIMCopySendCompletePerPacketInfo(packet, descriptor);
    NdisFreePacket(descriptor);
    return status;
}

// The look-ahead indication by the lower adapter's medium; FDDI frames are not indicated.
VOID IndicateLookahead(Adapter* adapter, NDIS_HANDLE receiveContext, PVOID header, UINT headerSize,
                       PVOID lookahead, UINT lookaheadSize, UINT packetSize) {
    switch (adapter->Medium) {
    case NdisMedium802_3:
    case NdisMediumWan:
        NdisMEthIndicateReceive(adapter->MiniportHandle, receiveContext, header, headerSize, lookahead,
                                lookaheadSize, packetSize);
        break;
    case NdisMedium802_5:
        NdisMTrIndicateReceive(adapter->MiniportHandle, receiveContext, header, headerSize, lookahead,
                               lookaheadSize, packetSize);
        break;
    default:
        break;
    }
}

// Judges a look-ahead indication on a copy of its header and look-ahead data. Without memory for the
// copy the frame goes on uninspected.
GuardVerdict InspectLookahead(Adapter* adapter, PVOID header, UINT headerSize, PVOID lookahead,
                              UINT lookaheadSize) {
    const UINT length = headerSize + lookaheadSize;
    PVOID copy = nullptr;
    NDIS_PHYSICAL_ADDRESS noLimit = NDIS_PHYSICAL_ADDRESS_CONST(-1, -1);
    if (NdisAllocateMemory(&copy, length, 0, noLimit) != NDIS_STATUS_SUCCESS) {
        return GUARD_PASS;
    }
    auto* bytes = static_cast<PUCHAR>(copy);
    NdisMoveMemory(bytes, header, headerSize);
    NdisMoveMemory(bytes + headerSize, lookahead, lookaheadSize);
    const GuardVerdict verdict = ArpGuardInspect(adapter, bytes, length, nullptr, GUARD_DIR_INBOUND);
    NdisFreeMemory(copy, length, 0);
    return verdict;
}

} // namespace

VOID MiniportSendPackets(NDIS_HANDLE miniportAdapterContext, PPNDIS_PACKET packetArray,
                         UINT numberOfPackets) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    for (UINT i = 0; i < numberOfPackets; ++i) {
        PNDIS_PACKET packet = packetArray[i];
        if (ArpGuardInspect(adapter, nullptr, 0, packet, GUARD_DIR_OUTBOUND) == GUARD_DROP ||
            IsLowPower(adapter->MiniportPowerState)) {
            NdisMSendComplete(adapter->MiniportHandle, packet, NDIS_STATUS_FAILURE);
            continue;
        }
        BOOLEAN stackSlotLeft = FALSE;
        NdisIMGetCurrentPacketStack(packet, &stackSlotLeft);
        if (!AcceptSend(adapter)) {
            NdisMSendComplete(adapter->MiniportHandle, packet, NDIS_STATUS_FAILURE);
            continue;
        }
        NDIS_STATUS status = NDIS_STATUS_SUCCESS;
        if (stackSlotLeft) {
            NdisSend(&status, adapter->BindingHandle, packet);
            if (status != NDIS_STATUS_PENDING) {
                NdisMSendComplete(adapter->MiniportHandle, packet, status);
                SendFinished(adapter);
            }
            continue;
        }
        status = SendThroughDescriptor(adapter, packet);
        if (status != NDIS_STATUS_PENDING) {
            SendFinished(adapter);
            NdisMSendComplete(adapter->MiniportHandle, packet, status);
        }
    }
}

VOID ProtocolSendComplete(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet, NDIS_STATUS status) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    if (NdisGetPoolFromPacket(packet) != adapter->SendPacketPool) {
        NdisMSendComplete(adapter->MiniportHandle, packet, status);
    } else {
        PNDIS_PACKET wrapped = WrappedPacketOf(packet->ProtocolReserved);
        NdisIMCopySendCompletePerPacketInfo(wrapped, packet);
        NdisDprFreePacket(packet);
        NdisMSendComplete(adapter->MiniportHandle, wrapped, status);
    }
    SendFinished(adapter);
}

VOID MiniportReturnPacket(NDIS_HANDLE miniportAdapterContext, PNDIS_PACKET packet) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    if (NdisGetPoolFromPacket(packet) != adapter->ReceivePacketPool) {
        NdisReturnPackets(&packet, 1);
        return;
    }
    PNDIS_PACKET wrapped = WrappedPacketOf(packet->MiniportReserved);
    NdisFreePacket(packet);
    NdisReturnPackets(&wrapped, 1);
}

NDIS_STATUS MiniportTransferData(PNDIS_PACKET packet, PUINT bytesTransferred,
                                 NDIS_HANDLE miniportAdapterContext, NDIS_HANDLE miniportReceiveContext,
                                 UINT byteOffset, UINT bytesToTransfer) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    if (adapter->MiniportPowerState != NdisDeviceStateD0 ||
        adapter->ProtocolPowerState != NdisDeviceStateD0) {
        return NDIS_STATUS_FAILURE;
    }
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    NdisTransferData(&status, adapter->BindingHandle, miniportReceiveContext, byteOffset, bytesToTransfer,
                     packet, bytesTransferred);
    // A pended transfer is judged once, when it completes.
    if (status == NDIS_STATUS_PENDING) {
        return status;
    }
    if (ArpGuardInspect(adapter, nullptr, 0, packet, GUARD_DIR_INBOUND) == GUARD_DROP) {
        return NDIS_STATUS_FAILURE;
    }
    return status;
}

VOID ProtocolTransferDataComplete(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet, NDIS_STATUS status,
                                  UINT bytesTransferred) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    if (ArpGuardInspect(adapter, nullptr, 0, packet, GUARD_DIR_INBOUND) == GUARD_DROP) {
        status = NDIS_STATUS_FAILURE;
    }
    if (adapter->MiniportHandle != nullptr) {
        NdisMTransferDataComplete(adapter->MiniportHandle, packet, status, bytesTransferred);
    }
}

NDIS_STATUS ProtocolReceive(NDIS_HANDLE protocolBindingContext, NDIS_HANDLE macReceiveContext,
                            PVOID headerBuffer, UINT headerBufferSize, PVOID lookAheadBuffer,
                            UINT lookaheadBufferSize, UINT packetSize) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    NDIS_STATUS result = NDIS_STATUS_SUCCESS;
    const ULONG processor = KeGetCurrentProcessorNumberEx(nullptr);
    if (adapter->MiniportHandle == nullptr || IsLowPower(adapter->MiniportPowerState)) {
        return NDIS_STATUS_FAILURE;
    }
    PNDIS_PACKET packet = NdisGetReceivedPacket(adapter->BindingHandle, macReceiveContext);
    if (packet != nullptr) {
        if (ArpGuardInspect(adapter, nullptr, 0, packet, GUARD_DIR_INBOUND) == GUARD_DROP) {
            return NDIS_STATUS_FAILURE;
        }
        PNDIS_PACKET descriptor = nullptr;
        NdisDprAllocatePacket(&result, &descriptor, adapter->ReceivePacketPool);
        if (result == NDIS_STATUS_SUCCESS) {
            CopyBufferChain(descriptor, packet);
            NDIS_SET_ORIGINAL_PACKET(descriptor, NDIS_GET_ORIGINAL_PACKET(packet));
            NDIS_SET_PACKET_HEADER_SIZE(descriptor, headerBufferSize);
            NdisSetPacketFlags(descriptor, NdisGetPacketFlags(packet));
            // The descriptor is freed as soon as the indication returns: the protocols must copy.
            NDIS_SET_PACKET_STATUS(descriptor, NDIS_STATUS_RESOURCES);
            if (adapter->MiniportHandle != nullptr) {
                NdisMIndicateReceivePacket(adapter->MiniportHandle, &descriptor, 1);
            }
            NdisDprFreePacket(descriptor);
            return NDIS_STATUS_SUCCESS;
        }
        // No descriptor: the frame, already judged, goes up by look-ahead instead.
    } else if (InspectLookahead(adapter, headerBuffer, headerBufferSize, lookAheadBuffer,
                                lookaheadBufferSize) == GUARD_DROP) {
        return NDIS_STATUS_FAILURE;
    }
    SetReceiveIndicated(adapter, processor, TRUE);
    if (adapter->MiniportHandle == nullptr) {
        return result;
    }
    IndicateLookahead(adapter, macReceiveContext, headerBuffer, headerBufferSize, lookAheadBuffer,
                      lookaheadBufferSize, packetSize);
    return result;
}

VOID ProtocolReceiveComplete(NDIS_HANDLE protocolBindingContext) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    const ULONG processor = KeGetCurrentProcessorNumberEx(nullptr);
    if (adapter->MiniportHandle != nullptr && adapter->MiniportPowerState == NdisDeviceStateD0 &&
        processor < adapter->ProcessorCount && adapter->ReceiveIndicated[processor]) {
        switch (adapter->Medium) {
        case NdisMedium802_3:
        case NdisMediumWan:
            NdisMEthIndicateReceiveComplete(adapter->MiniportHandle);
            break;
        case NdisMedium802_5:
            NdisMTrIndicateReceiveComplete(adapter->MiniportHandle);
            break;
        default:
            break;
        }
    }
    SetReceiveIndicated(adapter, processor, FALSE);
}

INT ProtocolReceivePacket(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    if (adapter->MiniportHandle == nullptr || IsLowPower(adapter->MiniportPowerState)) {
        return 0;
    }
    if (ArpGuardInspect(adapter, nullptr, 0, packet, GUARD_DIR_INBOUND) == GUARD_DROP) {
        return 0;
    }
    BOOLEAN stackSlotLeft = FALSE;
    NdisIMGetCurrentPacketStack(packet, &stackSlotLeft);
    if (stackSlotLeft) {
        const NDIS_STATUS status = NDIS_GET_PACKET_STATUS(packet);
        NdisMIndicateReceivePacket(adapter->MiniportHandle, &packet, 1);
        return status == NDIS_STATUS_RESOURCES ? 0 : 1;
    }
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    PNDIS_PACKET descriptor = nullptr;
    NdisDprAllocatePacket(&status, &descriptor, adapter->ReceivePacketPool);
    if (status != NDIS_STATUS_SUCCESS) {
        return 0;
    }
    SetWrappedPacket(descriptor->MiniportReserved, packet);
    CopyBufferChain(descriptor, packet);
    NDIS_SET_ORIGINAL_PACKET(descriptor, NDIS_GET_ORIGINAL_PACKET(packet));
    NdisSetPacketFlags(descriptor, NdisGetPacketFlags(packet));
    const NDIS_STATUS packetStatus = NDIS_GET_PACKET_STATUS(packet);
    NDIS_SET_PACKET_STATUS(descriptor, packetStatus);
    NDIS_SET_PACKET_HEADER_SIZE(descriptor, NDIS_GET_PACKET_HEADER_SIZE(packet));
    if (adapter->MiniportHandle != nullptr) {
        NdisMIndicateReceivePacket(adapter->MiniportHandle, &descriptor, 1);
    }
    if (packetStatus == NDIS_STATUS_RESOURCES) {
        NdisDprFreePacket(descriptor);
        return 0;
    }
    // The descriptor comes back through MiniportReturnPacket, which frees it.
    return 1;
}
