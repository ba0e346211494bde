// The virtual miniport's control handlers: initialize, halt, query and set forwarding, power, cancel.
#include "driver/framework/miniport.h"

#include "driver/framework/driver.h"
#include "driver/framework/protocol.h"

namespace {

// The steps a query and a set share before the request goes down: refuse while unbinding or in low
// power, fill Request, and hold it while the lower adapter sleeps. TRUE when Request is to be sent now
// (RequestOutstanding is then set); otherwise *status is the answer.
BOOLEAN PrepareRequest(Adapter* adapter, NDIS_REQUEST_TYPE type, NDIS_OID oid, PVOID buffer, ULONG length,
                       PULONG bytesReadOrWritten, PULONG bytesNeeded, NDIS_STATUS* status) {
    *status = NDIS_STATUS_FAILURE;
    NdisAcquireSpinLock(&adapter->Lock);
    const BOOLEAN unbinding = adapter->Unbinding;
    NdisReleaseSpinLock(&adapter->Lock);
    if (unbinding || IsLowPower(adapter->MiniportPowerState)) {
        return FALSE;
    }

    adapter->Request.RequestType = type;
    if (type == NdisRequestQueryInformation) {
        adapter->Request.DATA.QUERY_INFORMATION.Oid = oid;
        adapter->Request.DATA.QUERY_INFORMATION.InformationBuffer = buffer;
        adapter->Request.DATA.QUERY_INFORMATION.InformationBufferLength = length;
    } else {
        adapter->Request.DATA.SET_INFORMATION.Oid = oid;
        adapter->Request.DATA.SET_INFORMATION.InformationBuffer = buffer;
        adapter->Request.DATA.SET_INFORMATION.InformationBufferLength = length;
    }
    adapter->BytesReadOrWritten = bytesReadOrWritten;
    adapter->BytesNeeded = bytesNeeded;

    // The unbind handler may have started since the first test; this one decides.
    NdisAcquireSpinLock(&adapter->Lock);
    if (adapter->Unbinding) {
        NdisReleaseSpinLock(&adapter->Lock);
        return FALSE;
    }
    if (IsLowPower(adapter->ProtocolPowerState) && !adapter->StandingBy) {
        adapter->RequestQueued = TRUE;
        NdisReleaseSpinLock(&adapter->Lock);
        *status = NDIS_STATUS_PENDING;
        return FALSE;
    }
    if (adapter->StandingBy) {
        NdisReleaseSpinLock(&adapter->Lock);
        return FALSE;
    }
    adapter->RequestOutstanding = TRUE;
    NdisReleaseSpinLock(&adapter->Lock);
    return TRUE;
}

} // namespace

NDIS_STATUS MiniportInitialize(PNDIS_STATUS openErrorStatus, PUINT selectedMediumIndex,
                               PNDIS_MEDIUM mediumArray, UINT mediumArraySize,
                               NDIS_HANDLE miniportAdapterHandle,
                               NDIS_HANDLE /*wrapperConfigurationContext*/) {
    auto* adapter = static_cast<Adapter*>(NdisIMGetDeviceContext(miniportAdapterHandle));
    adapter->Halted = FALSE;

    // A WAN adapter is offered up as Ethernet.
    const NDIS_MEDIUM medium = adapter->Medium == NdisMediumWan ? NdisMedium802_3 : adapter->Medium;
    NDIS_STATUS status = NDIS_STATUS_UNSUPPORTED_MEDIA;
    for (UINT i = 0; i < mediumArraySize; ++i) {
        if (mediumArray[i] == medium) {
            *selectedMediumIndex = i;
            status = NDIS_STATUS_SUCCESS;
            break;
        }
    }

    if (status == NDIS_STATUS_SUCCESS) {
        NdisMSetAttributesEx(miniportAdapterHandle, adapter, 0, VIRTUAL_MINIPORT_ATTRIBUTES,
                             NdisInterfaceInternal);
        adapter->MiniportHandle = miniportAdapterHandle;
        adapter->LastIndicatedStatus = NDIS_STATUS_MEDIA_CONNECT;
        adapter->MiniportPowerState = NdisDeviceStateD0;
        adapter->ProtocolPowerState = NdisDeviceStateD0;

        NdisAcquireSpinLock(&g_Driver.GlobalLock);
        adapter->Next = g_Driver.AdapterList;
        g_Driver.AdapterList = adapter;
        NdisReleaseSpinLock(&g_Driver.GlobalLock);

        RegisterControlDevice();
        // The virtual miniport's reference is taken before InitEvent releases a waiting unbind, whose
        // de-initialisation drops it again.
        AdapterAddRef(adapter);
    }

    AdapterSetInitPending(adapter, FALSE);
    NdisSetEvent(&adapter->InitEvent);

    *openErrorStatus = status;
    return status;
}

VOID MiniportHalt(NDIS_HANDLE miniportAdapterContext) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    adapter->MiniportHandle = nullptr;
    adapter->Halted = TRUE;

    NdisAcquireSpinLock(&g_Driver.GlobalLock);
    for (Adapter** link = &g_Driver.AdapterList; *link != nullptr; link = &(*link)->Next) {
        if (*link == adapter) {
            *link = adapter->Next;
            break;
        }
    }
    NdisReleaseSpinLock(&g_Driver.GlobalLock);

    DeregisterControlDevice();

    if (adapter->BindingHandle != nullptr) {
        NDIS_STATUS status = NDIS_STATUS_SUCCESS;
        NdisResetEvent(&adapter->OpenCloseEvent);
        NdisCloseAdapter(&status, adapter->BindingHandle);
        if (status == NDIS_STATUS_PENDING) {
            NdisWaitEvent(&adapter->OpenCloseEvent, 0);
        }
        // A failing close changes nothing: the binding is gone for this driver either way.
        adapter->BindingHandle = nullptr;
        AdapterRelease(adapter);
    }

    AdapterRelease(adapter);
}

NDIS_STATUS MiniportQueryInformation(NDIS_HANDLE miniportAdapterContext, NDIS_OID oid,
                                     PVOID informationBuffer, ULONG informationBufferLength,
                                     PULONG bytesWritten, PULONG bytesNeeded) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    if (oid == OID_PNP_QUERY_POWER) {
        return NDIS_STATUS_SUCCESS;
    }
    if (oid == OID_GEN_SUPPORTED_GUIDS) {
        return NDIS_STATUS_NOT_SUPPORTED;
    }
    NDIS_STATUS status = NDIS_STATUS_FAILURE;
    if (!PrepareRequest(adapter, NdisRequestQueryInformation, oid, informationBuffer, informationBufferLength,
                        bytesWritten, bytesNeeded, &status)) {
        return status;
    }
    NdisRequest(&status, adapter->BindingHandle, &adapter->Request);
    if (status != NDIS_STATUS_PENDING) {
        ProtocolRequestComplete(adapter, &adapter->Request, status);
    }
    return NDIS_STATUS_PENDING;
}

NDIS_STATUS MiniportSetInformation(NDIS_HANDLE miniportAdapterContext, NDIS_OID oid, PVOID informationBuffer,
                                   ULONG informationBufferLength, PULONG bytesRead, PULONG bytesNeeded) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    NDIS_STATUS status = NDIS_STATUS_FAILURE;
    if (oid == OID_PNP_SET_POWER) {
        MiniportSetPower(&status, adapter, informationBuffer, informationBufferLength, bytesRead,
                         bytesNeeded);
        return status;
    }
    if (!PrepareRequest(adapter, NdisRequestSetInformation, oid, informationBuffer, informationBufferLength,
                        bytesRead, bytesNeeded, &status)) {
        return status;
    }
    NdisRequest(&status, adapter->BindingHandle, &adapter->Request);
    if (status == NDIS_STATUS_PENDING) {
        return status;
    }
    // A set that completes at once is finished here, synchronously.
    *bytesRead = adapter->Request.DATA.SET_INFORMATION.BytesRead;
    *bytesNeeded = adapter->Request.DATA.SET_INFORMATION.BytesNeeded;
    NdisAcquireSpinLock(&adapter->Lock);
    adapter->RequestOutstanding = FALSE;
    NdisReleaseSpinLock(&adapter->Lock);
    return status;
}

VOID MiniportSetPower(PNDIS_STATUS status, NDIS_HANDLE miniportAdapterContext, PVOID informationBuffer,
                      ULONG informationBufferLength, PULONG bytesRead, PULONG bytesNeeded) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    *status = NDIS_STATUS_FAILURE;
    if (informationBuffer == nullptr || informationBufferLength < sizeof(NDIS_DEVICE_POWER_STATE)) {
        *status = NDIS_STATUS_INVALID_LENGTH;
        *bytesRead = 0;
        *bytesNeeded = sizeof(NDIS_DEVICE_POWER_STATE);
        return;
    }
    NDIS_DEVICE_POWER_STATE newState;
    NdisMoveMemory(&newState, informationBuffer, sizeof(newState));

    // A virtual miniport in low power only accepts D0.
    if (IsLowPower(adapter->MiniportPowerState) && newState != NdisDeviceStateD0) {
        *bytesRead = 0;
        *bytesNeeded = sizeof(NDIS_DEVICE_POWER_STATE);
        return;
    }
    if (adapter->MiniportPowerState == NdisDeviceStateD0 && IsLowPower(newState)) {
        adapter->StandingBy = TRUE;
    }
    if (IsLowPower(adapter->MiniportPowerState) && newState == NdisDeviceStateD0) {
        adapter->StandingBy = FALSE;
    }
    adapter->MiniportPowerState = newState;
    *status = NDIS_STATUS_SUCCESS;

    if (!adapter->StandingBy) {
        // Replay the media status held back while in low power; with nothing ever held back (a D0 that
        // finds the miniport in D0) there is nothing to replay.
        if (adapter->SuppressedStatus != NDIS_STATUS_SUCCESS &&
            adapter->LastIndicatedStatus != adapter->SuppressedStatus && adapter->MiniportHandle != nullptr) {
            NdisMIndicateStatus(adapter->MiniportHandle, adapter->SuppressedStatus, nullptr, 0);
            NdisMIndicateStatusComplete(adapter->MiniportHandle);
            adapter->LastIndicatedStatus = adapter->SuppressedStatus;
        }
    } else {
        adapter->SuppressedStatus = adapter->LastIndicatedStatus;
    }
    *bytesRead = sizeof(NDIS_DEVICE_POWER_STATE);
    *bytesNeeded = 0;
}

VOID MiniportCancelSendPackets(NDIS_HANDLE miniportAdapterContext, PVOID cancelId) {
    auto* adapter = static_cast<Adapter*>(miniportAdapterContext);
    NdisCancelSendPackets(adapter->BindingHandle, cancelId);
}
