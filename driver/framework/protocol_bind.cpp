// Binding to a lower adapter and unbinding from it, open and close completion, and protocol unload.
#include "driver/framework/driver.h"
#include "driver/framework/protocol.h"

namespace {

#define SEND_POOL_PROTOCOL_RESERVED 8u
#define RECEIVE_POOL_PROTOCOL_RESERVED 32u
#define POOL_DESCRIPTORS 255u
#define POOL_OVERFLOW_DESCRIPTORS 65280u

// Waits for a close that pended and returns its final status.
NDIS_STATUS CloseBinding(Adapter* adapter) {
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    NdisResetEvent(&adapter->OpenCloseEvent);
    NdisCloseAdapter(&status, adapter->BindingHandle);
    adapter->BindingHandle = nullptr;
    if (status == NDIS_STATUS_PENDING) {
        NdisWaitEvent(&adapter->OpenCloseEvent, 0);
        status = adapter->OpenCloseStatus;
    }
    return status;
}

// Reads the per-binding values: "NdisVersion" once for the driver, "UpperBindings" every time.
NDIS_STATUS ReadBindingConfiguration(NDIS_HANDLE configuration, PNDIS_STRING* upperBindings) {
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    PNDIS_CONFIGURATION_PARAMETER value = nullptr;
    if (g_Driver.NdisSysVersion == 0) {
        NDIS_STRING versionKeyword;
        NdisInitUnicodeString(&versionKeyword, ZELK_WIDE("NdisVersion"));
        NdisReadConfiguration(&status, &value, configuration, &versionKeyword, NdisParameterInteger);
        if (status != NDIS_STATUS_SUCCESS) {
            return status;
        }
        g_Driver.NdisSysVersion = value->ParameterData.IntegerData;
    }
    NDIS_STRING bindingsKeyword;
    NdisInitUnicodeString(&bindingsKeyword, ZELK_WIDE("UpperBindings"));
    NdisReadConfiguration(&status, &value, configuration, &bindingsKeyword, NdisParameterString);
    if (status == NDIS_STATUS_SUCCESS) {
        *upperBindings = &value->ParameterData.StringData;
    }
    return status;
}

// One zero-filled block: the record, then the device name's characters, then one receive flag per
// processor of the machine.
Adapter* AllocateAdapter(const NDIS_STRING* upperBindings) {
    const ULONG processors = KeQueryMaximumProcessorCountEx(ALL_PROCESSOR_GROUPS);
    const UINT size = AdapterBlockSize(upperBindings->MaximumLength, processors);
    Adapter* adapter = nullptr;
    if (NdisAllocateMemoryWithTag(reinterpret_cast<PVOID*>(&adapter), size, ADAPTER_POOL_TAG) !=
        NDIS_STATUS_SUCCESS) {
        return nullptr;
    }
    NdisZeroMemory(adapter, size);
    PUCHAR tail = reinterpret_cast<PUCHAR>(adapter + 1);
    adapter->DeviceName.Length = upperBindings->Length;
    adapter->DeviceName.MaximumLength = upperBindings->MaximumLength;
    adapter->DeviceName.Buffer = reinterpret_cast<PWSTR>(tail);
    NdisMoveMemory(tail, upperBindings->Buffer, upperBindings->MaximumLength);
    adapter->ReceiveIndicated = tail + upperBindings->MaximumLength;
    adapter->ProcessorCount = processors;
    NdisInitializeEvent(&adapter->OpenCloseEvent);
    NdisAllocateSpinLock(&adapter->Lock);
    return adapter;
}

// Opens the lower adapter, waiting for a pended open. On failure no binding is left in the record.
NDIS_STATUS OpenLowerAdapter(Adapter* adapter, PNDIS_STRING deviceName) {
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    NDIS_STATUS openErrorStatus = NDIS_STATUS_SUCCESS;
    UINT mediumIndex = 0;
    NdisOpenAdapter(&status, &openErrorStatus, &adapter->BindingHandle, &mediumIndex, g_Driver.MediumArray,
                    sizeof(g_Driver.MediumArray) / sizeof(g_Driver.MediumArray[0]), g_Driver.ProtocolHandle,
                    adapter, deviceName, 0, nullptr);
    if (status == NDIS_STATUS_PENDING) {
        NdisWaitEvent(&adapter->OpenCloseEvent, 0);
        status = adapter->OpenCloseStatus;
    }
    if (status != NDIS_STATUS_SUCCESS) {
        // The handle of an open that failed, even after pending, is no binding to close.
        adapter->BindingHandle = nullptr;
        return status;
    }
    AdapterAddRef(adapter); // the binding's reference
    adapter->Medium = g_Driver.MediumArray[mediumIndex];
    return status;
}

} // namespace

VOID ProtocolBindAdapter(PNDIS_STATUS status, NDIS_HANDLE /*bindContext*/, PNDIS_STRING deviceName,
                         PVOID systemSpecific1, PVOID /*systemSpecific2*/) {
    NDIS_HANDLE configuration = nullptr;
    Adapter* adapter = nullptr;
    BOOLEAN bindingOpened = FALSE;
    BOOLEAN haltedBeforeRelease = FALSE;
    PNDIS_STRING upperBindings = nullptr;

    NdisOpenProtocolConfiguration(status, &configuration, static_cast<PNDIS_STRING>(systemSpecific1));
    if (*status != NDIS_STATUS_SUCCESS) {
        configuration = nullptr;
    } else {
        *status = ReadBindingConfiguration(configuration, &upperBindings);
    }
    if (*status == NDIS_STATUS_SUCCESS) {
        adapter = AllocateAdapter(upperBindings);
        *status = adapter == nullptr ? NDIS_STATUS_RESOURCES : NDIS_STATUS_SUCCESS;
    }
    if (*status == NDIS_STATUS_SUCCESS) {
        NdisAllocatePacketPoolEx(status, &adapter->SendPacketPool, POOL_DESCRIPTORS,
                                 POOL_OVERFLOW_DESCRIPTORS, SEND_POOL_PROTOCOL_RESERVED);
    }
    if (*status == NDIS_STATUS_SUCCESS) {
        NdisAllocatePacketPoolEx(status, &adapter->ReceivePacketPool, POOL_DESCRIPTORS,
                                 POOL_OVERFLOW_DESCRIPTORS, RECEIVE_POOL_PROTOCOL_RESERVED);
    }
    if (*status == NDIS_STATUS_SUCCESS) {
        *status = OpenLowerAdapter(adapter, deviceName);
    }
    if (*status == NDIS_STATUS_SUCCESS) {
        bindingOpened = TRUE;
        AdapterSetInitPending(adapter, TRUE);
        NdisInitializeEvent(&adapter->InitEvent);
        AdapterAddRef(adapter); // held across the request; the initialize handler may run inside it
        *status = NdisIMInitializeDeviceInstanceEx(g_Driver.DriverHandle, &adapter->DeviceName, adapter);
        if (*status != NDIS_STATUS_SUCCESS) {
            haltedBeforeRelease = adapter->Halted;
            if (AdapterRelease(adapter)) {
                adapter = nullptr;
            }
        } else {
            AdapterRelease(adapter);
        }
    }

    if (configuration != nullptr) {
        NdisCloseConfiguration(configuration);
    }

    if (*status != NDIS_STATUS_SUCCESS && adapter != nullptr) {
        if (!bindingOpened) {
            AdapterFree(adapter);
        } else if (!haltedBeforeRelease && adapter->BindingHandle != nullptr) {
            // Once the virtual miniport has halted, its halt handler has closed the binding instead.
            CloseBinding(adapter);
            AdapterRelease(adapter);
        }
    }
}

VOID ProtocolUnbindAdapter(PNDIS_STATUS status, NDIS_HANDLE protocolBindingContext,
                           NDIS_HANDLE /*unbindContext*/) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);

    NdisAcquireSpinLock(&adapter->Lock);
    adapter->Unbinding = TRUE;
    FailQueuedRequest(adapter);

    if (AdapterInitPending(adapter)) {
        if (NdisIMCancelInitializeDeviceInstance(g_Driver.DriverHandle, &adapter->DeviceName) ==
            NDIS_STATUS_SUCCESS) {
            AdapterSetInitPending(adapter, FALSE);
        } else {
            // The initialize handler is running or about to run.
            NdisWaitEvent(&adapter->InitEvent, 0);
        }
    }

    if (adapter->MiniportHandle != nullptr) {
        // The halt handler closes the binding and drops the references.
        *status = NdisIMDeInitializeDeviceInstance(adapter->MiniportHandle);
        if (*status != NDIS_STATUS_SUCCESS) {
            *status = NDIS_STATUS_FAILURE;
        }
        return;
    }

    *status = adapter->BindingHandle != nullptr ? CloseBinding(adapter) : NDIS_STATUS_FAILURE;
    AdapterFree(adapter);
}

VOID ProtocolOpenCloseComplete(NDIS_HANDLE protocolBindingContext, NDIS_STATUS status,
                               NDIS_STATUS /*openErrorStatus*/) {
    auto* adapter = static_cast<Adapter*>(protocolBindingContext);
    adapter->OpenCloseStatus = status;
    NdisSetEvent(&adapter->OpenCloseEvent);
}

VOID ProtocolOpenCloseComplete(NDIS_HANDLE protocolBindingContext, NDIS_STATUS status) {
    ProtocolOpenCloseComplete(protocolBindingContext, status, NDIS_STATUS_SUCCESS);
}

VOID ProtocolUnload(VOID) {
    if (g_Driver.ProtocolHandle != nullptr) {
        NDIS_STATUS status = NDIS_STATUS_SUCCESS;
        NdisDeregisterProtocol(&status, g_Driver.ProtocolHandle);
        g_Driver.ProtocolHandle = nullptr;
    }
}
