// Completion of forwarded requests, media status from the lower adapter, power and other Plug and Play
// events. The request completion is also where the lower adapter's MAC address is learned.
#include "driver/framework/driver.h"
#include "driver/framework/protocol.h"

namespace {

#define MAC_ADDRESS_LENGTH 6u

BOOLEAN IsMediaStatus(NDIS_STATUS status) {
    return status == NDIS_STATUS_MEDIA_CONNECT || status == NDIS_STATUS_MEDIA_DISCONNECT;
}

BOOLEAN BothInD0(const Adapter* adapter) {
    return adapter->MiniportPowerState == NdisDeviceStateD0 &&
           adapter->ProtocolPowerState == NdisDeviceStateD0;
}

ULONG PendingSendsNow(Adapter* adapter) {
    NdisAcquireSpinLock(&adapter->Lock);
    const ULONG pending = adapter->PendingSends;
    NdisReleaseSpinLock(&adapter->Lock);
    return pending;
}

BOOLEAN RequestOutstandingNow(Adapter* adapter) {
    NdisAcquireSpinLock(&adapter->Lock);
    const BOOLEAN outstanding = adapter->RequestOutstanding;
    NdisReleaseSpinLock(&adapter->Lock);
    return outstanding;
}

// What the lower adapter answered to a query, adjusted before the protocols above see it.
NDIS_STATUS FinishQuery(Adapter* adapter, PNDIS_REQUEST request, NDIS_STATUS status) {
    auto& query = request->DATA.QUERY_INFORMATION;
    if (query.Oid == OID_PNP_CAPABILITIES && status == NDIS_STATUS_SUCCESS) {
        if (query.InformationBufferLength >= sizeof(NDIS_PNP_CAPABILITIES)) {
            // The driver cannot wake the system: no wake-up is offered above.
            auto* capabilities = static_cast<PNDIS_PNP_CAPABILITIES>(query.InformationBuffer);
            capabilities->WakeUpCapabilities.MinMagicPacketWakeUp = NdisDeviceStateUnspecified;
            capabilities->WakeUpCapabilities.MinPatternWakeUp = NdisDeviceStateUnspecified;
            capabilities->WakeUpCapabilities.MinLinkChangeWakeUp = NdisDeviceStateUnspecified;
            adapter->MiniportPowerState = NdisDeviceStateD0;
            adapter->ProtocolPowerState = NdisDeviceStateD0;
        } else {
            status = NDIS_STATUS_RESOURCES;
        }
    }
    *adapter->BytesReadOrWritten = query.BytesWritten;
    *adapter->BytesNeeded = query.BytesNeeded;
    if (query.Oid == OID_GEN_MAC_OPTIONS && status == NDIS_STATUS_SUCCESS &&
        g_Driver.NdisSysVersion >= NDIS_SYS_VERSION_5_1 && query.InformationBufferLength >= sizeof(ULONG)) {
        ULONG options;
        NdisMoveMemory(&options, query.InformationBuffer, sizeof(options));
        options &= ~NDIS_MAC_OPTION_NO_LOOPBACK;
        NdisMoveMemory(query.InformationBuffer, &options, sizeof(options));
    }
    if (query.Oid == OID_802_3_CURRENT_ADDRESS && status == NDIS_STATUS_SUCCESS &&
        query.InformationBufferLength >= MAC_ADDRESS_LENGTH) {
        // One aligned 64-bit store: the guard never reads half of an old and half of a new address.
        GuardPublishLocalMac(&adapter->LocalMac, static_cast<const uint8_t*>(query.InformationBuffer));
    }
    return status;
}

// Sends the request that waited for the lower adapter's return to D0. Called with Lock held; releases it.
void SendQueuedRequest(Adapter* adapter) {
    adapter->RequestQueued = FALSE;
    adapter->RequestOutstanding = TRUE;
    NdisReleaseSpinLock(&adapter->Lock);
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    NdisRequest(&status, adapter->BindingHandle, &adapter->Request);
    if (status != NDIS_STATUS_PENDING) {
        ProtocolRequestComplete(adapter, &adapter->Request, status);
    }
}

} // namespace

VOID ProtocolRequestComplete(NDIS_HANDLE protocolBindingContext, PNDIS_REQUEST ndisRequest,
                             NDIS_STATUS status) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    NdisAcquireSpinLock(&adapter->Lock);
    adapter->RequestOutstanding = FALSE;
    NdisReleaseSpinLock(&adapter->Lock);

    switch (ndisRequest->RequestType) {
    case NdisRequestQueryInformation:
        status = FinishQuery(adapter, ndisRequest, status);
        NdisMQueryInformationComplete(adapter->MiniportHandle, status);
        break;
    case NdisRequestSetInformation:
        *adapter->BytesReadOrWritten = ndisRequest->DATA.SET_INFORMATION.BytesRead;
        *adapter->BytesNeeded = ndisRequest->DATA.SET_INFORMATION.BytesNeeded;
        NdisMSetInformationComplete(adapter->MiniportHandle, status);
        break;
    default:
        break;
    }
}

VOID FailQueuedRequest(Adapter* adapter) {
    if (adapter->RequestQueued) {
        adapter->RequestQueued = FALSE;
        NdisReleaseSpinLock(&adapter->Lock);
        ProtocolRequestComplete(adapter, &adapter->Request, NDIS_STATUS_FAILURE);
    } else {
        NdisReleaseSpinLock(&adapter->Lock);
    }
}

VOID ProtocolStatus(NDIS_HANDLE protocolBindingContext, NDIS_STATUS generalStatus, PVOID statusBuffer,
                    UINT statusBufferSize) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    if (adapter == nullptr || adapter->MiniportHandle == nullptr) {
        return;
    }
    if (BothInD0(adapter)) {
        if (IsMediaStatus(generalStatus)) {
            adapter->LastIndicatedStatus = generalStatus;
        }
        NdisMIndicateStatus(adapter->MiniportHandle, generalStatus, statusBuffer, statusBufferSize);
    } else if (IsMediaStatus(generalStatus)) {
        // Replayed when the virtual miniport returns to D0.
        adapter->SuppressedStatus = generalStatus;
    }
}

VOID ProtocolStatusComplete(NDIS_HANDLE protocolBindingContext) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    if (adapter != nullptr && adapter->MiniportHandle != nullptr && BothInD0(adapter)) {
        NdisMIndicateStatusComplete(adapter->MiniportHandle);
    }
}

NDIS_STATUS ProtocolPnPEvent(NDIS_HANDLE protocolBindingContext, PNET_PNP_EVENT netPnPEvent) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    if (netPnPEvent->NetEvent == NetEventSetPower) {
        return ProtocolSetPower(adapter, netPnPEvent);
    }
    if (netPnPEvent->NetEvent == NetEventReconfigure && adapter == nullptr) {
        NdisReEnumerateProtocolBindings(g_Driver.ProtocolHandle);
        return NDIS_STATUS_SUCCESS;
    }
    if (adapter != nullptr && adapter->MiniportHandle != nullptr) {
        return NdisIMNotifyPnPEvent(adapter->MiniportHandle, netPnPEvent);
    }
    return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS ProtocolSetPower(NDIS_HANDLE protocolBindingContext, PNET_PNP_EVENT netPnPEvent) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    // A power event for the protocol as a whole concerns no binding.
    if (adapter == nullptr) {
        return NDIS_STATUS_SUCCESS;
    }
    if (netPnPEvent->Buffer == nullptr || netPnPEvent->BufferLength < sizeof(NDIS_DEVICE_POWER_STATE)) {
        return NDIS_STATUS_INVALID_LENGTH;
    }
    NDIS_DEVICE_POWER_STATE newState;
    NdisMoveMemory(&newState, netPnPEvent->Buffer, sizeof(newState));

    NdisAcquireSpinLock(&adapter->Lock);
    const NDIS_DEVICE_POWER_STATE previous = adapter->ProtocolPowerState;
    adapter->ProtocolPowerState = newState;

    if (IsLowPower(newState)) {
        if (previous == NdisDeviceStateD0) {
            adapter->StandingBy = TRUE;
        }
        NdisReleaseSpinLock(&adapter->Lock);
        // The protocols above hear of it before the driver drains its own sends and requests.
        const NDIS_STATUS result = adapter->MiniportHandle != nullptr
                                       ? NdisIMNotifyPnPEvent(adapter->MiniportHandle, netPnPEvent)
                                       : NDIS_STATUS_SUCCESS;
        while (PendingSendsNow(adapter) != 0) {
            NdisMSleep(2);
        }
        while (RequestOutstandingNow(adapter)) {
            NdisMSleep(2);
        }
        NdisAcquireSpinLock(&adapter->Lock);
        FailQueuedRequest(adapter);
        return result;
    }

    if (IsLowPower(previous)) {
        adapter->StandingBy = FALSE;
    }
    // The queued request goes down before the protocols above hear of the return to D0.
    if (adapter->RequestQueued) {
        SendQueuedRequest(adapter);
    } else {
        NdisReleaseSpinLock(&adapter->Lock);
    }
    return adapter->MiniportHandle != nullptr ? NdisIMNotifyPnPEvent(adapter->MiniportHandle, netPnPEvent)
                                              : NDIS_STATUS_SUCCESS;
}
