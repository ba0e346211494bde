// The packet handlers of both edges: every frame down from the protocols above and up from the lower
// adapter is offered to the ARP guard and dropped on its verdict, then passed on unchanged, either as
// the caller's own packet (a stack slot left) or wrapped in a descriptor of the binding's pools.
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
