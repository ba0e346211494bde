// The simulated NDIS 5 host's own state, shared by its implementation files only.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ndis_host.h"

namespace ndis_host {

struct Miniport;

// A pending operation of a lower adapter, finished later by the test.
struct PendingOperation {
    bool Pending = false;
    PNDIS_REQUEST Request = nullptr; // for requests
    PNDIS_PACKET Packet = nullptr;   // for sends and transfers
    UINT Bytes = 0;                  // for transfers
};

// The latest look-ahead indication of a lower adapter: what NdisGetReceivedPacket and NdisTransferData see.
struct ReceiveIndication {
    std::vector<UCHAR> Frame;
    UINT HeaderSize = 0;
    PNDIS_PACKET Packet = nullptr;
};

struct LowerAdapter {
    NdisHostAdapterConfig Config;
    std::u16string UpperBindingsWide;
    bool Pend[NdisHostOperationCount] = {};
    NDIS_STATUS OperationStatus[NdisHostOperationCount] = {};
    std::deque<PendingOperation> Pending[NdisHostOperationCount];
    std::map<NDIS_OID, std::vector<UCHAR>> OidAnswers;
    std::map<NDIS_OID, NDIS_STATUS> OidStatuses;
    std::vector<NDIS_MEDIUM> OfferedMedia{NdisMedium802_3};
    bool Open = false;
    NDIS_HANDLE BindingContext = nullptr;
    NdisHostAdapterState Counters{};
    Miniport* Instance = nullptr; // the virtual miniport named by UpperBindings, once requested
    std::unique_ptr<ReceiveIndication> LatestReceive;
    std::vector<PNDIS_PACKET> Sent;
};

// One device instance of the virtual miniport and what its upper protocols saw.
struct Miniport {
    LowerAdapter* Lower = nullptr;
    NDIS_HANDLE DeviceContext = nullptr;
    bool Claimed = false; // the initialisation has started; it can no longer be cancelled
    bool InitializeRunning = false;
    bool Ran = false; // the initialize handler has been called
    NdisHostMiniportState State{};
    std::vector<NdisHostIndication> Indications;
    NdisHostUpperRequest Upper{};
    NDIS_REQUEST_TYPE UpperType = NdisRequestQueryInformation;
    ULONG UpperBytesDone = 0;
    ULONG UpperBytesNeeded = 0;
    std::vector<UCHAR> UpperBuffer;
};

struct ControlDevice {
    std::string DeviceName;
    std::string LinkName;
    PDRIVER_DISPATCH Dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1] = {};
    DEVICE_OBJECT Object{};
};

struct Host {
    std::mutex Mutex;
    std::condition_variable Changed;

    NDIS_STATUS FailNext[NdisHostCallCount] = {};
    bool Held[NdisHostCallCount] = {};
    uint32_t Holding[NdisHostCallCount] = {};

    NdisHostRegistrations Registrations{};
    PDRIVER_UNLOAD UnloadHandler = nullptr;
    DRIVER_OBJECT DriverObject{};
    bool DeferInitialization = false;
    uint32_t ReEnumerations = 0;

    std::vector<std::unique_ptr<LowerAdapter>> Adapters;
    std::vector<std::unique_ptr<Miniport>> Miniports;

    std::unique_ptr<ControlDevice> Device;
    uint64_t DeviceGeneration = 0; // changes with every registration and deregistration
    uint32_t DeviceRegistrations = 0;

    std::vector<PNDIS_PACKET> ReturnedPackets; // given back to the lower adapters by NdisReturnPackets

    std::vector<std::string> DbgLines;
    std::vector<std::string> Violations;
};

Host& TheHost();

// Records a broken rule (with the host's lock not held by the caller).
void Violation(const std::string& what);
// Every NDIS call made by the driver passes here: no spin lock may be held, and `passiveOnly` calls must
// run at PASSIVE_LEVEL.
void EnterNdisCall(const char* name, bool passiveOnly);
// The test-chosen failure for this call, consumed; NDIS_STATUS_SUCCESS when none. Blocks while held.
NDIS_STATUS TakeChosenOutcome(NdisHostCall call);

std::string Narrow(const NDIS_STRING* text);
std::u16string Wide(const std::string& text);

LowerAdapter* AdapterByBinding(NDIS_HANDLE bindingHandle);
Miniport* MiniportByHandle(NDIS_HANDLE miniportHandle);

int64_t MemoryBlocks();
int64_t ConfigurationHandles();

// Runs a requested initialisation through the initialize handler; halts a virtual miniport (after
// any initialisation still running has returned).
NDIS_STATUS RunInitialization(Miniport* miniport);
void HaltMiniport(Miniport* miniport);

// Records what the protocols above a virtual miniport hear; false for an unknown or halted miniport.
bool RecordIndication(NDIS_HANDLE miniportHandle, const char* call, NdisHostIndication indication);
NDIS_PROTOCOL_CHARACTERISTICS RegisteredProtocol();
NDIS_HANDLE BindingContextOf(LowerAdapter* adapter);

// A descriptor for a packet the host itself owns (an upper protocol's or the lower adapter's).
PNDIS_PACKET AllocateOwnPacket();
void FreeOwnPacket(PNDIS_PACKET packet);

// Resets of the parts kept in their own files.
void ResetSync();
void ResetMemory();
void ResetPackets();

} // namespace ndis_host
