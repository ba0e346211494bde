// The packet handlers of both edges. Until the packet paths through the guard are built they refuse
// every frame: sends complete with NDIS_STATUS_FAILURE and receives are not taken, so the lower adapter
// and the protocols above always get their packets back and nothing passes unguarded.
#pragma once

#include <zelk_ndis.h>

VOID MiniportSendPackets(NDIS_HANDLE miniportAdapterContext, PPNDIS_PACKET packetArray, UINT numberOfPackets);
VOID MiniportReturnPacket(NDIS_HANDLE miniportAdapterContext, PNDIS_PACKET packet);
NDIS_STATUS MiniportTransferData(PNDIS_PACKET packet, PUINT bytesTransferred,
                                 NDIS_HANDLE miniportAdapterContext, NDIS_HANDLE miniportReceiveContext,
                                 UINT byteOffset, UINT bytesToTransfer);
VOID ProtocolSendComplete(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet, NDIS_STATUS status);
VOID ProtocolTransferDataComplete(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet, NDIS_STATUS status,
                                  UINT bytesTransferred);
NDIS_STATUS ProtocolReceive(NDIS_HANDLE protocolBindingContext, NDIS_HANDLE macReceiveContext,
                            PVOID headerBuffer, UINT headerBufferSize, PVOID lookAheadBuffer,
                            UINT lookaheadBufferSize, UINT packetSize);
VOID ProtocolReceiveComplete(NDIS_HANDLE protocolBindingContext);
INT ProtocolReceivePacket(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet);
