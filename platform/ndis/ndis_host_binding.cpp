// The simulated host's protocol side: lower adapters with their per-binding values, the bind and
// unbind offers, configuration reads, and opens, closes and requests that complete at once or later.
#include <atomic>
#include <chrono>

#include "ndis_host_internal.h"

namespace ndis_host {
namespace {

// An open configuration handle: the adapter whose values it reads, and the values handed out.
struct Configuration {
    LowerAdapter* Adapter;
    std::deque<NDIS_CONFIGURATION_PARAMETER> Values;
    std::deque<std::u16string> Strings;
};

std::atomic<int64_t> g_ConfigurationHandles{0};

// What the lower adapter says to a request; fills the byte counts.
NDIS_STATUS Answer(LowerAdapter* adapter, PNDIS_REQUEST request) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (request->RequestType == NdisRequestSetInformation) {
        auto& set = request->DATA.SET_INFORMATION;
        auto chosen = adapter->OidStatuses.find(set.Oid);
        set.BytesNeeded = 0;
        set.BytesRead = chosen == adapter->OidStatuses.end() ? set.InformationBufferLength : 0;
        return chosen == adapter->OidStatuses.end() ? NDIS_STATUS_SUCCESS : chosen->second;
    }
    auto& query = request->DATA.QUERY_INFORMATION;
    query.BytesWritten = 0;
    query.BytesNeeded = 0;
    auto chosen = adapter->OidStatuses.find(query.Oid);
    if (chosen != adapter->OidStatuses.end()) {
        return chosen->second;
    }
    std::vector<UCHAR> answer;
    auto known = adapter->OidAnswers.find(query.Oid);
    if (known != adapter->OidAnswers.end()) {
        answer = known->second;
    } else if (query.Oid == OID_802_3_CURRENT_ADDRESS) {
        answer.assign(adapter->Config.Mac, adapter->Config.Mac + 6);
    } else {
        return NDIS_STATUS_NOT_SUPPORTED;
    }
    if (query.InformationBufferLength < answer.size()) {
        query.BytesNeeded = static_cast<UINT>(answer.size());
        return NDIS_STATUS_INVALID_LENGTH;
    }
    memcpy(query.InformationBuffer, answer.data(), answer.size());
    query.BytesWritten = static_cast<UINT>(answer.size());
    return NDIS_STATUS_SUCCESS;
}

void AddPending(LowerAdapter* adapter, NdisHostOperation operation, PendingOperation pending) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    pending.Pending = true;
    adapter->Pending[operation].push_back(pending);
    host.Changed.notify_all();
}

} // namespace

LowerAdapter* AdapterByBinding(NDIS_HANDLE bindingHandle) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    for (auto& adapter : host.Adapters) {
        if (adapter.get() == bindingHandle) {
            return adapter.get();
        }
    }
    return nullptr;
}

int64_t ConfigurationHandles() {
    return g_ConfigurationHandles.load();
}

NDIS_PROTOCOL_CHARACTERISTICS RegisteredProtocol() {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return host.Registrations.Protocol;
}

NDIS_HANDLE BindingContextOf(LowerAdapter* adapter) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return adapter != nullptr && adapter->Open ? adapter->BindingContext : nullptr;
}

} // namespace ndis_host

using namespace ndis_host;

NdisHostAdapter* NdisHostAddAdapter(const NdisHostAdapterConfig& config) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.Adapters.push_back(std::make_unique<LowerAdapter>());
    LowerAdapter* adapter = host.Adapters.back().get();
    adapter->Config = config;
    return reinterpret_cast<NdisHostAdapter*>(adapter);
}

static LowerAdapter* Lower(NdisHostAdapter* adapter) {
    return reinterpret_cast<LowerAdapter*>(adapter);
}

void NdisHostSetUpperBindingsForTest(NdisHostAdapter* adapter, bool present, const std::string& value) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Lower(adapter)->Config.HasUpperBindings = present;
    Lower(adapter)->Config.UpperBindings = value;
}

void NdisHostPendOperationForTest(NdisHostAdapter* adapter, NdisHostOperation operation, bool pend) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Lower(adapter)->Pend[operation] = pend;
}

void NdisHostSetOperationStatusForTest(NdisHostAdapter* adapter, NdisHostOperation operation,
                                       NDIS_STATUS status) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Lower(adapter)->OperationStatus[operation] = status;
}

bool NdisHostWaitForPendingForTest(NdisHostAdapter* adapter, NdisHostOperation operation) {
    Host& host = TheHost();
    std::unique_lock<std::mutex> lock(host.Mutex);
    return host.Changed.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return !Lower(adapter)->Pending[operation].empty(); });
}

bool NdisHostCompletePendingForTest(NdisHostAdapter* adapter, NdisHostOperation operation) {
    Host& host = TheHost();
    LowerAdapter* lower = Lower(adapter);
    PendingOperation pending;
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        if (lower->Pending[operation].empty()) {
            return false;
        }
        pending = lower->Pending[operation].front();
        lower->Pending[operation].pop_front();
        status = lower->OperationStatus[operation];
        if (operation == NdisHostOpen) {
            lower->Open = status == NDIS_STATUS_SUCCESS;
        }
    }
    const NDIS_PROTOCOL_CHARACTERISTICS protocol = RegisteredProtocol();
    const NDIS_HANDLE context = lower->BindingContext;
    switch (operation) {
    case NdisHostOpen:
        protocol.OpenAdapterCompleteHandler(context, status, NDIS_STATUS_SUCCESS);
        break;
    case NdisHostClose:
        protocol.CloseAdapterCompleteHandler(context, status);
        break;
    case NdisHostRequest:
        protocol.RequestCompleteHandler(context, pending.Request, Answer(lower, pending.Request));
        break;
    case NdisHostSend:
        protocol.SendCompleteHandler(context, pending.Packet, status);
        break;
    case NdisHostTransferData:
        protocol.TransferDataCompleteHandler(context, pending.Packet, status, pending.Bytes);
        break;
    default:
        break;
    }
    return true;
}

void NdisHostSetOidAnswerForTest(NdisHostAdapter* adapter, NDIS_OID oid, const void* bytes, ULONG length) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    const auto* first = static_cast<const UCHAR*>(bytes);
    Lower(adapter)->OidAnswers[oid].assign(first, first + length);
    Lower(adapter)->OidStatuses.erase(oid);
}

void NdisHostSetOidStatusForTest(NdisHostAdapter* adapter, NDIS_OID oid, NDIS_STATUS status) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Lower(adapter)->OidStatuses[oid] = status;
}

NDIS_STATUS NdisHostBindAdapter(NdisHostAdapter* adapter) {
    const NDIS_PROTOCOL_CHARACTERISTICS protocol = RegisteredProtocol();
    if (!NdisHostRegistrationsForTest().ProtocolRegistered) {
        return NDIS_STATUS_FAILURE;
    }
    LowerAdapter* lower = Lower(adapter);
    // The adapter's name and its protocol section (the first system-specific argument) for this offer.
    std::u16string name = Wide(lower->Config.Name);
    NDIS_STRING deviceName{static_cast<USHORT>(name.size() * sizeof(WCHAR)),
                           static_cast<USHORT>(name.size() * sizeof(WCHAR)), name.data()};
    NDIS_STRING protocolSection = deviceName;
    NDIS_STATUS status = NDIS_STATUS_FAILURE;
    protocol.BindAdapterHandler(&status, lower, &deviceName, &protocolSection, nullptr);
    return status;
}

NDIS_STATUS NdisHostUnbindAdapter(NdisHostAdapter* adapter) {
    NDIS_HANDLE context = BindingContextOf(Lower(adapter));
    if (context == nullptr) {
        return NDIS_STATUS_FAILURE;
    }
    NDIS_STATUS status = NDIS_STATUS_FAILURE;
    RegisteredProtocol().UnbindAdapterHandler(&status, context, adapter);
    return status;
}

NdisHostAdapterState NdisHostAdapterStateForTest(NdisHostAdapter* adapter) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    NdisHostAdapterState state = Lower(adapter)->Counters;
    state.Open = Lower(adapter)->Open;
    state.BindingContext = Lower(adapter)->BindingContext;
    return state;
}

NDIS_STATUS NdisHostLowerSetPower(NdisHostAdapter* adapter, NDIS_DEVICE_POWER_STATE state) {
    NET_PNP_EVENT event{};
    event.NetEvent = NetEventSetPower;
    event.Buffer = &state;
    event.BufferLength = sizeof(state);
    return RegisteredProtocol().PnPEventHandler(BindingContextOf(Lower(adapter)), &event);
}

NDIS_STATUS NdisHostLowerPnPEvent(NdisHostAdapter* adapter, NET_PNP_EVENT_CODE code) {
    NET_PNP_EVENT event{};
    event.NetEvent = code;
    return RegisteredProtocol().PnPEventHandler(BindingContextOf(Lower(adapter)), &event);
}

uint32_t NdisHostReEnumerationsForTest() {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return host.ReEnumerations;
}

void NdisHostLowerIndicateStatus(NdisHostAdapter* adapter, NDIS_STATUS status) {
    const NDIS_PROTOCOL_CHARACTERISTICS protocol = RegisteredProtocol();
    NDIS_HANDLE context = BindingContextOf(Lower(adapter));
    protocol.StatusHandler(context, status, nullptr, 0);
    protocol.StatusCompleteHandler(context);
}

VOID NdisReEnumerateProtocolBindings(NDIS_HANDLE /*ndisProtocolHandle*/) {
    EnterNdisCall("NdisReEnumerateProtocolBindings", true);
    Host& host = TheHost();
    std::vector<LowerAdapter*> unbound;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        ++host.ReEnumerations;
        for (auto& adapter : host.Adapters) {
            if (!adapter->Open) {
                unbound.push_back(adapter.get());
            }
        }
    }
    for (LowerAdapter* adapter : unbound) {
        NdisHostBindAdapter(reinterpret_cast<NdisHostAdapter*>(adapter));
    }
}

VOID NdisOpenProtocolConfiguration(PNDIS_STATUS status, PNDIS_HANDLE configurationHandle,
                                   PNDIS_STRING protocolSection) {
    EnterNdisCall("NdisOpenProtocolConfiguration", true);
    *configurationHandle = nullptr;
    *status = TakeChosenOutcome(NdisHostCallOpenProtocolConfiguration);
    if (*status != NDIS_STATUS_SUCCESS) {
        return;
    }
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    const std::string name = Narrow(protocolSection);
    for (auto& adapter : host.Adapters) {
        if (adapter->Config.Name == name) {
            *configurationHandle = new Configuration{adapter.get(), {}, {}};
            g_ConfigurationHandles.fetch_add(1);
            return;
        }
    }
    *status = NDIS_STATUS_FAILURE;
}

VOID NdisReadConfiguration(PNDIS_STATUS status, PNDIS_CONFIGURATION_PARAMETER* parameterValue,
                           NDIS_HANDLE configurationHandle, PNDIS_STRING keyword,
                           NDIS_PARAMETER_TYPE parameterType) {
    EnterNdisCall("NdisReadConfiguration", true);
    auto* configuration = static_cast<Configuration*>(configurationHandle);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    LowerAdapter* adapter = configuration->Adapter;
    const std::string name = Narrow(keyword);
    *status = NDIS_STATUS_FAILURE;
    NDIS_CONFIGURATION_PARAMETER value{};
    if (name == "NdisVersion") {
        ++adapter->Counters.NdisVersionReads;
        if (!adapter->Config.HasNdisVersion || parameterType != NdisParameterInteger) {
            return;
        }
        value.ParameterType = NdisParameterInteger;
        value.ParameterData.IntegerData = adapter->Config.NdisVersion;
    } else if (name == "UpperBindings") {
        ++adapter->Counters.UpperBindingsReads;
        if (!adapter->Config.HasUpperBindings || parameterType != NdisParameterString) {
            return;
        }
        configuration->Strings.push_back(Wide(adapter->Config.UpperBindings));
        std::u16string& text = configuration->Strings.back();
        value.ParameterType = NdisParameterString;
        value.ParameterData.StringData.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
        value.ParameterData.StringData.MaximumLength = static_cast<USHORT>((text.size() + 1) * sizeof(WCHAR));
        value.ParameterData.StringData.Buffer = text.data();
    } else {
        return;
    }
    configuration->Values.push_back(value);
    *parameterValue = &configuration->Values.back();
    *status = NDIS_STATUS_SUCCESS;
}

VOID NdisCloseConfiguration(NDIS_HANDLE configurationHandle) {
    EnterNdisCall("NdisCloseConfiguration", true);
    delete static_cast<Configuration*>(configurationHandle);
    g_ConfigurationHandles.fetch_sub(1);
}

VOID NdisOpenAdapter(PNDIS_STATUS status, PNDIS_STATUS openErrorStatus, PNDIS_HANDLE ndisBindingHandle,
                     PUINT selectedMediumIndex, PNDIS_MEDIUM mediumArray, UINT mediumArraySize,
                     NDIS_HANDLE /*ndisProtocolHandle*/, NDIS_HANDLE protocolBindingContext,
                     PNDIS_STRING adapterName, UINT /*openOptions*/, PVOID /*addressingInformation*/) {
    EnterNdisCall("NdisOpenAdapter", true);
    *openErrorStatus = NDIS_STATUS_SUCCESS;
    *ndisBindingHandle = nullptr;
    Host& host = TheHost();
    LowerAdapter* lower = nullptr;
    bool pend = false;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        const std::string name = Narrow(adapterName);
        for (auto& adapter : host.Adapters) {
            if (adapter->Config.Name == name) {
                lower = adapter.get();
            }
        }
        if (lower == nullptr || lower->Open) {
            *status = NDIS_STATUS_FAILURE;
            return;
        }
        UINT index = 0;
        while (index < mediumArraySize && mediumArray[index] != lower->Config.Medium) {
            ++index;
        }
        if (index == mediumArraySize) {
            *status = NDIS_STATUS_UNSUPPORTED_MEDIA;
            return;
        }
        *selectedMediumIndex = index;
        lower->BindingContext = protocolBindingContext;
        pend = lower->Pend[NdisHostOpen];
        *status = lower->OperationStatus[NdisHostOpen];
        if (!pend && *status != NDIS_STATUS_SUCCESS) {
            return;
        }
        lower->Open = !pend;
        // The handle is valid from here on, even while the open is pending.
        *ndisBindingHandle = lower;
    }
    if (pend) {
        AddPending(lower, NdisHostOpen, PendingOperation{});
        *status = NDIS_STATUS_PENDING;
    }
}

VOID NdisCloseAdapter(PNDIS_STATUS status, NDIS_HANDLE ndisBindingHandle) {
    EnterNdisCall("NdisCloseAdapter", true);
    LowerAdapter* lower = AdapterByBinding(ndisBindingHandle);
    Host& host = TheHost();
    bool pend = false;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        if (lower == nullptr || !lower->Open) {
            host.Violations.push_back("NdisCloseAdapter on a binding that is not open");
            *status = NDIS_STATUS_FAILURE;
            return;
        }
        lower->Open = false;
        pend = lower->Pend[NdisHostClose];
        *status = lower->OperationStatus[NdisHostClose];
    }
    if (pend) {
        AddPending(lower, NdisHostClose, PendingOperation{});
        *status = NDIS_STATUS_PENDING;
    }
}

VOID NdisRequest(PNDIS_STATUS status, NDIS_HANDLE ndisBindingHandle, PNDIS_REQUEST ndisRequest) {
    EnterNdisCall("NdisRequest", false);
    LowerAdapter* lower = AdapterByBinding(ndisBindingHandle);
    Host& host = TheHost();
    bool pend = false;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        if (lower == nullptr || !lower->Open) {
            host.Violations.push_back("NdisRequest on a binding that is not open");
            *status = NDIS_STATUS_FAILURE;
            return;
        }
        ++lower->Counters.RequestsReceived;
        lower->Counters.LastRequestOid = ndisRequest->DATA.QUERY_INFORMATION.Oid;
        pend = lower->Pend[NdisHostRequest];
    }
    if (pend) {
        AddPending(lower, NdisHostRequest, PendingOperation{true, ndisRequest, nullptr});
        *status = NDIS_STATUS_PENDING;
        return;
    }
    *status = Answer(lower, ndisRequest);
}

VOID NdisCancelSendPackets(NDIS_HANDLE ndisBindingHandle, PVOID cancelId) {
    EnterNdisCall("NdisCancelSendPackets", false);
    LowerAdapter* lower = AdapterByBinding(ndisBindingHandle);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (lower == nullptr) {
        host.Violations.push_back("NdisCancelSendPackets on an unknown binding");
        return;
    }
    lower->Counters.CancelledSendIds.push_back(cancelId);
}

VOID NdisSend(PNDIS_STATUS status, NDIS_HANDLE ndisBindingHandle, PNDIS_PACKET packet) {
    EnterNdisCall("NdisSend", false);
    LowerAdapter* lower = AdapterByBinding(ndisBindingHandle);
    Host& host = TheHost();
    bool pend = false;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        if (lower == nullptr || !lower->Open) {
            host.Violations.push_back("NdisSend on a binding that is not open");
            *status = NDIS_STATUS_FAILURE;
            return;
        }
        lower->Sent.push_back(packet);
        pend = lower->Pend[NdisHostSend];
        *status = lower->OperationStatus[NdisHostSend];
    }
    if (pend) {
        AddPending(lower, NdisHostSend, PendingOperation{true, nullptr, packet});
        *status = NDIS_STATUS_PENDING;
    }
}
