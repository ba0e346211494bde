// The virtual miniport edge: what the protocols above see of each binding. Queries and sets that the
// lower adapter must answer go down through the record's single Request block.
#pragma once

#include <zelk_ndis.h>

// The attributes the virtual miniport presents to NDIS.
#define VIRTUAL_MINIPORT_ATTRIBUTES                                                                          \
    (NDIS_ATTRIBUTE_IGNORE_PACKET_TIMEOUT | NDIS_ATTRIBUTE_IGNORE_REQUEST_TIMEOUT |                          \
     NDIS_ATTRIBUTE_INTERMEDIATE_DRIVER | NDIS_ATTRIBUTE_DESERIALIZE | NDIS_ATTRIBUTE_NO_HALT_ON_SUSPEND)

NDIS_STATUS MiniportInitialize(PNDIS_STATUS openErrorStatus, PUINT selectedMediumIndex,
                               PNDIS_MEDIUM mediumArray, UINT mediumArraySize,
                               NDIS_HANDLE miniportAdapterHandle, NDIS_HANDLE wrapperConfigurationContext);
VOID MiniportHalt(NDIS_HANDLE miniportAdapterContext);
NDIS_STATUS MiniportQueryInformation(NDIS_HANDLE miniportAdapterContext, NDIS_OID oid,
                                     PVOID informationBuffer, ULONG informationBufferLength,
                                     PULONG bytesWritten, PULONG bytesNeeded);
NDIS_STATUS MiniportSetInformation(NDIS_HANDLE miniportAdapterContext, NDIS_OID oid, PVOID informationBuffer,
                                   ULONG informationBufferLength, PULONG bytesRead, PULONG bytesNeeded);
// The OID_PNP_SET_POWER branch of MiniportSetInformation; never forwarded.
VOID MiniportSetPower(PNDIS_STATUS status, NDIS_HANDLE miniportAdapterContext, PVOID informationBuffer,
                      ULONG informationBufferLength, PULONG bytesRead, PULONG bytesNeeded);
VOID MiniportCancelSendPackets(NDIS_HANDLE miniportAdapterContext, PVOID cancelId);
