// The simulated host above each virtual miniport: the test's hand on its initialisation and halt, and
// the upper protocols' queries, sets and power changes with what they heard back.
#include "ndis_host_internal.h"

namespace ndis_host {
namespace {

LowerAdapter* Lower(NdisHostAdapter* adapter) {
    return reinterpret_cast<LowerAdapter*>(adapter);
}

Miniport* InstanceOf(NdisHostAdapter* adapter) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return Lower(adapter)->Instance;
}

NdisHostUpperRequest Snapshot(Miniport* miniport) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    NdisHostUpperRequest request = miniport->Upper;
    request.BytesDone = miniport->UpperBytesDone;
    request.BytesNeeded = miniport->UpperBytesNeeded;
    request.Buffer = miniport->UpperBuffer;
    return request;
}

// One query or set from the protocols above, as NDIS hands it to the virtual miniport.
NdisHostUpperRequest UpperRequest(NdisHostAdapter* adapter, NDIS_REQUEST_TYPE type, NDIS_OID oid,
                                  const void* bytes, ULONG length) {
    Miniport* miniport = InstanceOf(adapter);
    Host& host = TheHost();
    NDIS_MINIPORT_CHARACTERISTICS handlers{};
    NDIS_HANDLE context = nullptr;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        if (miniport == nullptr || !miniport->State.Initialized) {
            NdisHostUpperRequest refused{};
            refused.Returned = NDIS_STATUS_FAILURE;
            refused.Completed = true;
            refused.Status = NDIS_STATUS_FAILURE;
            return refused;
        }
        miniport->Upper = NdisHostUpperRequest{};
        miniport->UpperType = type;
        miniport->UpperBytesDone = 0;
        miniport->UpperBytesNeeded = 0;
        miniport->UpperBuffer.assign(length, 0);
        if (bytes != nullptr) {
            memcpy(miniport->UpperBuffer.data(), bytes, length);
        }
        handlers = host.Registrations.Miniport;
        context = miniport->State.AdapterContext;
    }
    PVOID buffer = length == 0 ? nullptr : miniport->UpperBuffer.data();
    const NDIS_STATUS status =
        type == NdisRequestQueryInformation
            ? handlers.QueryInformationHandler(context, oid, buffer, length, &miniport->UpperBytesDone,
                                               &miniport->UpperBytesNeeded)
            : handlers.SetInformationHandler(context, oid, buffer, length, &miniport->UpperBytesDone,
                                             &miniport->UpperBytesNeeded);
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        miniport->Upper.Returned = status;
        if (status != NDIS_STATUS_PENDING) {
            if (miniport->Upper.Completed) {
                host.Violations.push_back("a request was completed and also returned with a final status");
            }
            miniport->Upper.Completed = true;
            miniport->Upper.Status = status;
        }
    }
    return Snapshot(miniport);
}

} // namespace
} // namespace ndis_host

using namespace ndis_host;

void NdisHostSetOfferedMediaForTest(NdisHostAdapter* adapter, const std::vector<NDIS_MEDIUM>& media) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Lower(adapter)->OfferedMedia = media;
}

bool NdisHostClaimInitializationForTest(NdisHostAdapter* adapter) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Miniport* miniport = Lower(adapter)->Instance;
    if (miniport == nullptr || !miniport->State.Requested) {
        return false;
    }
    miniport->Claimed = true;
    return true;
}

NDIS_STATUS NdisHostRunInitialization(NdisHostAdapter* adapter) {
    Miniport* miniport = InstanceOf(adapter);
    {
        Host& host = TheHost();
        std::lock_guard<std::mutex> guard(host.Mutex);
        const bool waiting = miniport != nullptr && !miniport->Ran && !miniport->State.Cancelled;
        if (!waiting) {
            return NDIS_STATUS_FAILURE;
        }
    }
    return RunInitialization(miniport);
}

bool NdisHostHaltMiniport(NdisHostAdapter* adapter) {
    Miniport* miniport = InstanceOf(adapter);
    {
        Host& host = TheHost();
        std::lock_guard<std::mutex> guard(host.Mutex);
        if (miniport == nullptr || !miniport->State.Initialized) {
            return false;
        }
    }
    HaltMiniport(miniport);
    return true;
}

NdisHostMiniportState NdisHostMiniportStateForTest(NdisHostAdapter* adapter) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Miniport* miniport = Lower(adapter)->Instance;
    return miniport == nullptr ? NdisHostMiniportState{} : miniport->State;
}

std::vector<NdisHostIndication> NdisHostIndicationsForTest(NdisHostAdapter* adapter) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Miniport* miniport = Lower(adapter)->Instance;
    return miniport == nullptr ? std::vector<NdisHostIndication>{} : miniport->Indications;
}

void NdisHostClearIndicationsForTest(NdisHostAdapter* adapter) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (Miniport* miniport = Lower(adapter)->Instance) {
        miniport->Indications.clear();
    }
}

NdisHostUpperRequest NdisHostUpperQuery(NdisHostAdapter* adapter, NDIS_OID oid, ULONG length) {
    return UpperRequest(adapter, NdisRequestQueryInformation, oid, nullptr, length);
}

NdisHostUpperRequest NdisHostUpperSet(NdisHostAdapter* adapter, NDIS_OID oid, const void* bytes,
                                      ULONG length) {
    return UpperRequest(adapter, NdisRequestSetInformation, oid, bytes, length);
}

NdisHostUpperRequest NdisHostLatestUpperRequestForTest(NdisHostAdapter* adapter) {
    Miniport* miniport = InstanceOf(adapter);
    return miniport == nullptr ? NdisHostUpperRequest{} : Snapshot(miniport);
}

NdisHostUpperRequest NdisHostUpperSetPower(NdisHostAdapter* adapter, NDIS_DEVICE_POWER_STATE state,
                                           ULONG length) {
    UCHAR buffer[8] = {};
    memcpy(buffer, &state, sizeof(state));
    return UpperRequest(adapter, NdisRequestSetInformation, OID_PNP_SET_POWER, buffer,
                        length > sizeof(buffer) ? static_cast<ULONG>(sizeof(buffer)) : length);
}
