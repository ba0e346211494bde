#include "driver/framework/packet_paths.h"

#include "driver/framework/adapter.h"

VOID MiniportSendPackets(NDIS_HANDLE miniportAdapterContext, PPNDIS_PACKET packetArray,
                         UINT numberOfPackets) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    for (UINT i = 0; i < numberOfPackets; ++i) {
        NdisMSendComplete(adapter->MiniportHandle, packetArray[i], NDIS_STATUS_FAILURE);
    }
}

VOID MiniportReturnPacket(NDIS_HANDLE /*miniportAdapterContext*/, PNDIS_PACKET /*packet*/) {}

NDIS_STATUS MiniportTransferData(PNDIS_PACKET /*packet*/, PUINT bytesTransferred,
                                 NDIS_HANDLE /*miniportAdapterContext*/,
                                 NDIS_HANDLE /*miniportReceiveContext*/, UINT /*byteOffset*/,
                                 UINT /*bytesToTransfer*/) {
    *bytesTransferred = 0;
    return NDIS_STATUS_FAILURE;
}

VOID ProtocolSendComplete(NDIS_HANDLE /*protocolBindingContext*/, PNDIS_PACKET /*packet*/,
                          NDIS_STATUS /*status*/) {}

VOID ProtocolTransferDataComplete(NDIS_HANDLE /*protocolBindingContext*/, PNDIS_PACKET /*packet*/,
                                  NDIS_STATUS /*status*/, UINT /*bytesTransferred*/) {}

NDIS_STATUS ProtocolReceive(NDIS_HANDLE /*protocolBindingContext*/, NDIS_HANDLE /*macReceiveContext*/,
                            PVOID /*headerBuffer*/, UINT /*headerBufferSize*/, PVOID /*lookAheadBuffer*/,
                            UINT /*lookaheadBufferSize*/, UINT /*packetSize*/) {
    return NDIS_STATUS_FAILURE;
}

VOID ProtocolReceiveComplete(NDIS_HANDLE /*protocolBindingContext*/) {}

INT ProtocolReceivePacket(NDIS_HANDLE /*protocolBindingContext*/, PNDIS_PACKET /*packet*/) {
    return 0;
}
