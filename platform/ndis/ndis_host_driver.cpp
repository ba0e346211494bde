// The simulated host's driver side: the wrapper, the layered miniport and protocol registrations, the
// unload handler, and the virtual miniports' device instances (initialised at once or when the test
// says, cancellable until they start) with what their upper protocols hear.
#include "ndis_host_internal.h"

namespace ndis_host {
namespace {

Miniport* InstanceByName(Host& host, const NDIS_STRING* name) {
    const std::string wanted = Narrow(name);
    for (auto& miniport : host.Miniports) {
        if (miniport->Lower->Config.UpperBindings == wanted &&
            (miniport->State.Requested || miniport->Claimed)) {
            return miniport.get();
        }
    }
    return nullptr;
}

// The miniport behind a handle the driver passes up; a halted or unknown one is a fault of the driver.
Miniport* LiveMiniport(NDIS_HANDLE handle, const char* call) {
    Miniport* miniport = MiniportByHandle(handle);
    if (miniport == nullptr || miniport->State.Halted) {
        Violation(std::string(call) + " on a virtual miniport that is not initialized");
        return nullptr;
    }
    return miniport;
}

void FinishUpperRequest(NDIS_HANDLE handle, NDIS_STATUS status, NdisHostIndicationKind kind,
                        const char* call) {
    if (!RecordIndication(handle, call,
                          NdisHostIndication{kind, status, NetEventSetPower, nullptr, {}, nullptr})) {
        return;
    }
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Miniport* miniport = static_cast<Miniport*>(handle);
    miniport->Upper.Completed = true;
    miniport->Upper.Status = status;
}

} // namespace

bool RecordIndication(NDIS_HANDLE miniportHandle, const char* call, NdisHostIndication indication) {
    EnterNdisCall(call, false);
    Miniport* miniport = LiveMiniport(miniportHandle, call);
    if (miniport == nullptr) {
        return false;
    }
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    miniport->Indications.push_back(std::move(indication));
    return true;
}

Miniport* MiniportByHandle(NDIS_HANDLE miniportHandle) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    for (auto& miniport : host.Miniports) {
        if (miniport.get() == miniportHandle) {
            return miniport.get();
        }
    }
    return nullptr;
}

NDIS_STATUS RunInitialization(Miniport* miniport) {
    Host& host = TheHost();
    std::vector<NDIS_MEDIUM> media;
    W_INITIALIZE_HANDLER* initialize = nullptr;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        miniport->Claimed = true;
        miniport->InitializeRunning = true;
        miniport->Ran = true;
        miniport->State.Requested = false;
        media = miniport->Lower->OfferedMedia;
        initialize = host.Registrations.Miniport.InitializeHandler;
    }
    NDIS_STATUS openError = NDIS_STATUS_SUCCESS;
    UINT selected = 0xFFFFFFFFu;
    const NDIS_STATUS status =
        initialize(&openError, &selected, media.data(), static_cast<UINT>(media.size()), miniport, miniport);
    std::lock_guard<std::mutex> guard(host.Mutex);
    miniport->InitializeRunning = false;
    miniport->State.InitializeStatus = status;
    miniport->State.OpenErrorStatus = openError;
    miniport->State.SelectedMediumIndex = selected;
    miniport->State.Initialized = status == NDIS_STATUS_SUCCESS;
    host.Changed.notify_all();
    return status;
}

void HaltMiniport(Miniport* miniport) {
    Host& host = TheHost();
    W_HALT_HANDLER* halt = nullptr;
    NDIS_HANDLE context = nullptr;
    {
        std::unique_lock<std::mutex> lock(host.Mutex);
        host.Changed.wait(lock, [&] { return !miniport->InitializeRunning; });
        miniport->State.Initialized = false;
        miniport->State.Halted = true;
        halt = host.Registrations.Miniport.HaltHandler;
        context = miniport->State.AdapterContext;
    }
    halt(context);
}

} // namespace ndis_host

using namespace ndis_host;

VOID NdisMInitializeWrapper(PNDIS_HANDLE wrapperHandle, PVOID /*systemSpecific1*/, PVOID /*systemSpecific2*/,
                            PVOID /*systemSpecific3*/) {
    EnterNdisCall("NdisMInitializeWrapper", true);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.Registrations.WrapperOpen = true;
    *wrapperHandle = &host.Registrations;
}

VOID NdisTerminateWrapper(NDIS_HANDLE wrapperHandle, PVOID /*systemSpecific*/) {
    EnterNdisCall("NdisTerminateWrapper", true);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (wrapperHandle != &host.Registrations || !host.Registrations.WrapperOpen) {
        host.Violations.push_back("NdisTerminateWrapper on a wrapper that is not open");
    }
    host.Registrations.WrapperOpen = false;
    host.Registrations.WrapperTerminated = true;
}

VOID NdisMRegisterUnloadHandler(NDIS_HANDLE /*wrapperHandle*/, PDRIVER_UNLOAD unloadHandler) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.UnloadHandler = unloadHandler;
    host.Registrations.UnloadHandlerSet = unloadHandler != nullptr;
}

NDIS_STATUS NdisIMRegisterLayeredMiniport(NDIS_HANDLE wrapperHandle,
                                          PNDIS_MINIPORT_CHARACTERISTICS miniportCharacteristics,
                                          UINT characteristicsLength, PNDIS_HANDLE driverHandle) {
    EnterNdisCall("NdisIMRegisterLayeredMiniport", true);
    const NDIS_STATUS chosen = TakeChosenOutcome(NdisHostCallRegisterLayeredMiniport);
    if (chosen != NDIS_STATUS_SUCCESS) {
        return chosen;
    }
    const NDIS_MINIPORT_CHARACTERISTICS& given = *miniportCharacteristics;
    if (characteristicsLength != sizeof(NDIS_MINIPORT_CHARACTERISTICS) ||
        given.InitializeHandler == nullptr || given.HaltHandler == nullptr ||
        given.QueryInformationHandler == nullptr || given.SetInformationHandler == nullptr ||
        given.SendPacketsHandler == nullptr) {
        return NDIS_STATUS_FAILURE;
    }
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (wrapperHandle != &host.Registrations || !host.Registrations.WrapperOpen) {
        return NDIS_STATUS_FAILURE;
    }
    host.Registrations.MiniportRegistered = true;
    host.Registrations.Miniport = given;
    host.Registrations.MiniportMajorVersion = given.MajorNdisVersion;
    host.Registrations.MiniportMinorVersion = given.MinorNdisVersion;
    host.Registrations.MiniportCharacteristicsLength = characteristicsLength;
    *driverHandle = &host.Registrations.Miniport;
    return NDIS_STATUS_SUCCESS;
}

VOID NdisIMDeregisterLayeredMiniport(NDIS_HANDLE driverHandle) {
    EnterNdisCall("NdisIMDeregisterLayeredMiniport", true);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (driverHandle != &host.Registrations.Miniport || !host.Registrations.MiniportRegistered) {
        host.Violations.push_back("NdisIMDeregisterLayeredMiniport on a driver that is not registered");
    }
    host.Registrations.MiniportRegistered = false;
    host.Registrations.Associated = false;
}

VOID NdisIMAssociateMiniport(NDIS_HANDLE driverHandle, NDIS_HANDLE protocolHandle) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.Registrations.Associated =
        driverHandle == &host.Registrations.Miniport && protocolHandle == &host.Registrations.Protocol;
}

VOID NdisRegisterProtocol(PNDIS_STATUS status, PNDIS_HANDLE ndisProtocolHandle,
                          PNDIS_PROTOCOL_CHARACTERISTICS protocolCharacteristics,
                          UINT characteristicsLength) {
    EnterNdisCall("NdisRegisterProtocol", true);
    *status = TakeChosenOutcome(NdisHostCallRegisterProtocol);
    if (*status != NDIS_STATUS_SUCCESS) {
        return;
    }
    const NDIS_PROTOCOL_CHARACTERISTICS& given = *protocolCharacteristics;
    if (characteristicsLength != sizeof(NDIS_PROTOCOL_CHARACTERISTICS) ||
        given.BindAdapterHandler == nullptr || given.UnbindAdapterHandler == nullptr ||
        given.OpenAdapterCompleteHandler == nullptr || given.CloseAdapterCompleteHandler == nullptr ||
        given.RequestCompleteHandler == nullptr || given.ReceiveHandler == nullptr ||
        given.StatusHandler == nullptr || given.Name.Length == 0) {
        *status = NDIS_STATUS_FAILURE;
        return;
    }
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.Registrations.ProtocolRegistered = true;
    host.Registrations.Protocol = given;
    host.Registrations.ProtocolName = Narrow(&given.Name);
    host.Registrations.ProtocolMajorVersion = given.MajorNdisVersion;
    host.Registrations.ProtocolMinorVersion = given.MinorNdisVersion;
    host.Registrations.ProtocolCharacteristicsLength = characteristicsLength;
    *ndisProtocolHandle = &host.Registrations.Protocol;
}

VOID NdisDeregisterProtocol(PNDIS_STATUS status, NDIS_HANDLE ndisProtocolHandle) {
    EnterNdisCall("NdisDeregisterProtocol", true);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (ndisProtocolHandle != &host.Registrations.Protocol || !host.Registrations.ProtocolRegistered) {
        host.Violations.push_back("NdisDeregisterProtocol on a protocol that is not registered");
        *status = NDIS_STATUS_FAILURE;
        return;
    }
    host.Registrations.ProtocolRegistered = false;
    *status = NDIS_STATUS_SUCCESS;
}

NDIS_STATUS NdisIMInitializeDeviceInstanceEx(NDIS_HANDLE /*driverHandle*/, PNDIS_STRING driverInstance,
                                             NDIS_HANDLE deviceContext) {
    EnterNdisCall("NdisIMInitializeDeviceInstanceEx", true);
    const NDIS_STATUS chosen = TakeChosenOutcome(NdisHostCallInitializeDeviceInstance);
    if (chosen != NDIS_STATUS_SUCCESS) {
        return chosen;
    }
    Host& host = TheHost();
    Miniport* miniport = nullptr;
    bool defer = false;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        const std::string name = Narrow(driverInstance);
        for (auto& adapter : host.Adapters) {
            if (adapter->Config.HasUpperBindings && adapter->Config.UpperBindings == name) {
                host.Miniports.push_back(std::make_unique<Miniport>());
                miniport = host.Miniports.back().get();
                miniport->Lower = adapter.get();
                miniport->DeviceContext = deviceContext;
                miniport->State.Requested = true;
                adapter->Instance = miniport;
                break;
            }
        }
        defer = host.DeferInitialization;
        host.Changed.notify_all();
    }
    if (miniport == nullptr) {
        return NDIS_STATUS_FAILURE;
    }
    if (!defer) {
        RunInitialization(miniport);
    }
    return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS NdisIMCancelInitializeDeviceInstance(NDIS_HANDLE /*driverHandle*/, PNDIS_STRING deviceInstance) {
    EnterNdisCall("NdisIMCancelInitializeDeviceInstance", true);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Miniport* miniport = InstanceByName(host, deviceInstance);
    if (miniport == nullptr || miniport->Claimed) {
        return NDIS_STATUS_FAILURE;
    }
    miniport->State.Requested = false;
    miniport->State.Cancelled = true;
    return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS NdisIMDeInitializeDeviceInstance(NDIS_HANDLE ndisMiniportHandle) {
    EnterNdisCall("NdisIMDeInitializeDeviceInstance", true);
    const NDIS_STATUS chosen = TakeChosenOutcome(NdisHostCallDeInitializeDeviceInstance);
    if (chosen != NDIS_STATUS_SUCCESS) {
        return chosen;
    }
    Miniport* miniport = LiveMiniport(ndisMiniportHandle, "NdisIMDeInitializeDeviceInstance");
    if (miniport == nullptr) {
        return NDIS_STATUS_FAILURE;
    }
    HaltMiniport(miniport);
    return NDIS_STATUS_SUCCESS;
}

NDIS_HANDLE NdisIMGetDeviceContext(NDIS_HANDLE miniportAdapterHandle) {
    Miniport* miniport = MiniportByHandle(miniportAdapterHandle);
    return miniport == nullptr ? nullptr : miniport->DeviceContext;
}

VOID NdisMSetAttributesEx(NDIS_HANDLE miniportAdapterHandle, NDIS_HANDLE miniportAdapterContext,
                          UINT checkForHangTimeInSeconds, ULONG attributeFlags,
                          NDIS_INTERFACE_TYPE adapterType) {
    EnterNdisCall("NdisMSetAttributesEx", false);
    Miniport* miniport = MiniportByHandle(miniportAdapterHandle);
    if (miniport == nullptr) {
        Violation("NdisMSetAttributesEx on an unknown miniport handle");
        return;
    }
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    miniport->State.AdapterContext = miniportAdapterContext;
    miniport->State.CheckForHangSeconds = checkForHangTimeInSeconds;
    miniport->State.AttributeFlags = attributeFlags;
    miniport->State.InterfaceType = adapterType;
}

VOID NdisMQueryInformationComplete(NDIS_HANDLE miniportAdapterHandle, NDIS_STATUS status) {
    FinishUpperRequest(miniportAdapterHandle, status, NdisHostQueryCompleted,
                       "NdisMQueryInformationComplete");
}

VOID NdisMSetInformationComplete(NDIS_HANDLE miniportAdapterHandle, NDIS_STATUS status) {
    FinishUpperRequest(miniportAdapterHandle, status, NdisHostSetCompleted, "NdisMSetInformationComplete");
}

VOID NdisMIndicateStatus(NDIS_HANDLE miniportAdapterHandle, NDIS_STATUS generalStatus, PVOID /*statusBuffer*/,
                         UINT /*statusBufferSize*/) {
    RecordIndication(
        miniportAdapterHandle, "NdisMIndicateStatus",
        NdisHostIndication{NdisHostIndicatedStatus, generalStatus, NetEventSetPower, nullptr, {}, nullptr});
}

VOID NdisMIndicateStatusComplete(NDIS_HANDLE miniportAdapterHandle) {
    RecordIndication(
        miniportAdapterHandle, "NdisMIndicateStatusComplete",
        NdisHostIndication{
            NdisHostIndicatedStatusComplete, NDIS_STATUS_SUCCESS, NetEventSetPower, nullptr, {}, nullptr});
}

NDIS_STATUS NdisIMNotifyPnPEvent(NDIS_HANDLE miniportHandle, PNET_PNP_EVENT netPnPEvent) {
    EnterNdisCall("NdisIMNotifyPnPEvent", true);
    const bool heard = RecordIndication(
        miniportHandle, "NdisIMNotifyPnPEvent",
        NdisHostIndication{
            NdisHostIndicatedPnPEvent, NDIS_STATUS_SUCCESS, netPnPEvent->NetEvent, nullptr, {}, nullptr});
    return heard ? NDIS_STATUS_SUCCESS : NDIS_STATUS_FAILURE;
}

bool NdisHostUnloadDriver() {
    Host& host = TheHost();
    PDRIVER_UNLOAD unload = nullptr;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        unload = host.UnloadHandler;
    }
    if (unload == nullptr) {
        return false;
    }
    unload(&host.DriverObject);
    return true;
}

NdisHostRegistrations NdisHostRegistrationsForTest() {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return host.Registrations;
}

void NdisHostDeferInitializationForTest(bool defer) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.DeferInitialization = defer;
}
