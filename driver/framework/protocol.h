// The protocol edge, registered as "ZELKARP": binding to each lower adapter, completions of opens,
// closes and forwarded requests, media status, power and other Plug and Play events, and unload.
#pragma once

#include <zelk_ndis.h>

VOID ProtocolBindAdapter(PNDIS_STATUS status, NDIS_HANDLE bindContext, PNDIS_STRING deviceName,
                         PVOID systemSpecific1, PVOID systemSpecific2);
VOID ProtocolUnbindAdapter(PNDIS_STATUS status, NDIS_HANDLE protocolBindingContext,
                           NDIS_HANDLE unbindContext);
// Serves both the open-adapter-complete and the close-adapter-complete slot.
VOID ProtocolOpenCloseComplete(NDIS_HANDLE protocolBindingContext, NDIS_STATUS status,
                               NDIS_STATUS openErrorStatus);
VOID ProtocolOpenCloseComplete(NDIS_HANDLE protocolBindingContext, NDIS_STATUS status);
// Also called directly to finish a request that completed at once, or to fail one that was never sent.
VOID ProtocolRequestComplete(NDIS_HANDLE protocolBindingContext, PNDIS_REQUEST ndisRequest,
                             NDIS_STATUS status);
VOID ProtocolStatus(NDIS_HANDLE protocolBindingContext, NDIS_STATUS generalStatus, PVOID statusBuffer,
                    UINT statusBufferSize);
VOID ProtocolStatusComplete(NDIS_HANDLE protocolBindingContext);
// The context is null for events that concern the protocol as a whole.
NDIS_STATUS ProtocolPnPEvent(NDIS_HANDLE protocolBindingContext, PNET_PNP_EVENT netPnPEvent);
// The NetEventSetPower branch of ProtocolPnPEvent.
NDIS_STATUS ProtocolSetPower(NDIS_HANDLE protocolBindingContext, PNET_PNP_EVENT netPnPEvent);
VOID ProtocolUnload(VOID);

struct Adapter;
// Fails the request held until the lower adapter returns to D0, if there is one. Called with the
// record's Lock held; releases it.
VOID FailQueuedRequest(Adapter* adapter);
