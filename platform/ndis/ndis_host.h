// Controls of the simulated NDIS 5 host, for tests and host tools. The host plays NDIS and everything
// around the driver: the lower adapters with their per-binding values, the upper protocols above each
// virtual miniport, the device-instance requests, the control device's user-mode callers, and the
// failures and delays a test chooses. It calls the driver's registered handlers on the caller's thread
// and never holds its own lock while doing so.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "zelk_ndis.h"

// --- The whole host ------------------------------------------------------------------------------------

// Back to a machine with no driver, no adapter, nothing allocated, no failure armed and 4 processors.
void NdisHostResetForTest();

// Calls of NDIS whose outcome or timing a test may choose.
enum NdisHostCall {
    NdisHostCallRegisterLayeredMiniport,
    NdisHostCallRegisterProtocol,
    NdisHostCallRegisterDevice,
    NdisHostCallDeregisterDevice,
    NdisHostCallOpenProtocolConfiguration,
    NdisHostCallAllocatePacketPool,
    NdisHostCallInitializeDeviceInstance,
    NdisHostCallDeInitializeDeviceInstance,
    NdisHostCallCount,
};
// The next call of that kind fails with `status` (once).
void NdisHostFailNextCallForTest(NdisHostCall call, NDIS_STATUS status);
// Calls of that kind block on entry until released; NdisHostWaitUntilHeldForTest returns once one is blocked.
void NdisHostHoldCallForTest(NdisHostCall call);
void NdisHostReleaseCallForTest(NdisHostCall call);
bool NdisHostWaitUntilHeldForTest(NdisHostCall call);

// The memory allocation `n` calls from now fails (1 = the very next one); 0 disarms.
void NdisHostFailAllocationForTest(uint32_t n);
// What the driver holds: memory blocks, packet pools, packet descriptors, open configuration handles.
struct NdisHostHoldings {
    int64_t MemoryBlocks;
    int64_t PacketPools;
    int64_t Packets;
    int64_t ConfigurationHandles;
};
NdisHostHoldings NdisHostHoldingsForTest();
// Successful memory allocations (NdisAllocateMemory and NdisAllocateMemoryWithTag) since the last reset.
uint64_t NdisHostAllocationCountForTest();

// The driver's DbgPrint lines, in order, each exactly as formatted.
std::vector<std::string> NdisHostDbgPrintLinesForTest();
// Rule breaks the host saw: an NDIS call with a spin lock held, a sleep or wait at DISPATCH_LEVEL, a spin
// lock taken twice, a call on an unknown handle. Empty when the driver behaved.
std::vector<std::string> NdisHostViolationsForTest();

// Processors: how many the machine has, and the one the calling thread runs on from now on.
void NdisHostSetProcessorCountForTest(ULONG count);
void NdisHostSetCurrentProcessorForTest(ULONG number);
// Threads currently blocked in NdisWaitEvent, and NdisMSleep calls so far.
uint32_t NdisHostEventWaitersForTest();
uint64_t NdisHostSleepsForTest();

// --- The driver's registrations -----------------------------------------------------------------------

struct NdisHostRegistrations {
    bool WrapperOpen;
    bool WrapperTerminated;
    bool MiniportRegistered; // the layered miniport driver
    bool ProtocolRegistered;
    bool Associated; // the miniport and protocol were associated
    bool UnloadHandlerSet;
    UCHAR MiniportMajorVersion, MiniportMinorVersion;
    UINT MiniportCharacteristicsLength;
    UCHAR ProtocolMajorVersion, ProtocolMinorVersion;
    UINT ProtocolCharacteristicsLength;
    std::string ProtocolName;
    NDIS_MINIPORT_CHARACTERISTICS Miniport; // as registered
    NDIS_PROTOCOL_CHARACTERISTICS Protocol; // as registered (Name no longer valid)
};
NdisHostRegistrations NdisHostRegistrationsForTest();
// Runs the registered unload handler, as the system does when the driver unloads. False if none.
bool NdisHostUnloadDriver();

// --- Lower adapters and bindings ------------------------------------------------------------------------

struct NdisHostAdapter;

struct NdisHostAdapterConfig {
    std::string Name; // the lower adapter's device name, for example "\\Device\\{A1}"
    NDIS_MEDIUM Medium = NdisMedium802_3;
    UCHAR Mac[6] = {0, 0, 0, 0, 0, 0};
    bool HasUpperBindings = true;
    std::string UpperBindings; // the virtual miniport's device instance name
    bool HasNdisVersion = true;
    ULONG NdisVersion = 0x00050001;
};
// A lower adapter that NDIS may bind the protocol to; it lives until the host is reset.
NdisHostAdapter* NdisHostAddAdapter(const NdisHostAdapterConfig& config);
void NdisHostSetUpperBindingsForTest(NdisHostAdapter* adapter, bool present, const std::string& value);

// Operations of the lower adapter that complete at once or later, as the test chooses.
enum NdisHostOperation {
    NdisHostOpen,
    NdisHostClose,
    NdisHostRequest,
    NdisHostSend,
    NdisHostTransferData,
    NdisHostOperationCount,
};
// Later: the operation returns NDIS_STATUS_PENDING and finishes when the test completes it.
void NdisHostPendOperationForTest(NdisHostAdapter* adapter, NdisHostOperation operation, bool pend);
// The status of every later open, close or send of the adapter (success by default).
void NdisHostSetOperationStatusForTest(NdisHostAdapter* adapter, NdisHostOperation operation,
                                       NDIS_STATUS status);
// Blocks until an operation of that kind is pending on the adapter; false after 10 seconds.
bool NdisHostWaitForPendingForTest(NdisHostAdapter* adapter, NdisHostOperation operation);
// Finishes the pending operation through the protocol's completion handler. False if none was pending.
bool NdisHostCompletePendingForTest(NdisHostAdapter* adapter, NdisHostOperation operation);

// What the lower adapter answers to a query of `oid`: these bytes, or a failure status. Unknown
// OIDs get NDIS_STATUS_NOT_SUPPORTED; a short buffer NDIS_STATUS_INVALID_LENGTH with the bytes needed.
// OID_802_3_CURRENT_ADDRESS answers the adapter's MAC address unless told otherwise.
void NdisHostSetOidAnswerForTest(NdisHostAdapter* adapter, NDIS_OID oid, const void* bytes, ULONG length);
void NdisHostSetOidStatusForTest(NdisHostAdapter* adapter, NDIS_OID oid, NDIS_STATUS status);

// NDIS offers the adapter to the protocol (bind handler) or takes it away (unbind handler).
NDIS_STATUS NdisHostBindAdapter(NdisHostAdapter* adapter);
NDIS_STATUS NdisHostUnbindAdapter(NdisHostAdapter* adapter);

struct NdisHostAdapterState {
    bool Open;                  // the protocol holds an open binding
    NDIS_HANDLE BindingContext; // what the protocol gave NdisOpenAdapter
    uint32_t NdisVersionReads;  // reads of "NdisVersion" on this adapter's bindings
    uint32_t UpperBindingsReads;
    uint32_t RequestsReceived; // requests that reached the lower adapter
    NDIS_OID LastRequestOid;
    std::vector<PVOID> CancelledSendIds;
};
NdisHostAdapterState NdisHostAdapterStateForTest(NdisHostAdapter* adapter);

// The lower adapter changes power (NetEventSetPower) or reports another Plug and Play event; a null
// adapter sends the event for the protocol as a whole. Returns the protocol's answer.
NDIS_STATUS NdisHostLowerSetPower(NdisHostAdapter* adapter, NDIS_DEVICE_POWER_STATE state);
NDIS_STATUS NdisHostLowerPnPEvent(NdisHostAdapter* adapter, NET_PNP_EVENT_CODE code);
// How often NdisReEnumerateProtocolBindings was called.
uint32_t NdisHostReEnumerationsForTest();
// The lower adapter reports a status (the status handler, then the status-complete handler).
void NdisHostLowerIndicateStatus(NdisHostAdapter* adapter, NDIS_STATUS status);

// --- Virtual miniports and the protocols above them ---------------------------------------------------

// Device-instance initialisations run inside NdisIMInitializeDeviceInstanceEx (false, the default)
// or wait until the test runs them (true).
void NdisHostDeferInitializationForTest(bool defer);
// The media the host offers the initialize handler of the adapter's virtual miniport (802.3 by default).
void NdisHostSetOfferedMediaForTest(NdisHostAdapter* adapter, const std::vector<NDIS_MEDIUM>& media);
// The deferred initialisation of the adapter's virtual miniport starts: from now on it cannot be cancelled.
bool NdisHostClaimInitializationForTest(NdisHostAdapter* adapter);
// Runs the deferred (or claimed) initialisation; returns the initialize handler's status, or
// NDIS_STATUS_FAILURE when none was waiting.
NDIS_STATUS NdisHostRunInitialization(NdisHostAdapter* adapter);
// The system halts the adapter's virtual miniport by itself.
bool NdisHostHaltMiniport(NdisHostAdapter* adapter);

struct NdisHostMiniportState {
    bool Requested; // an initialisation was requested and not cancelled
    bool Cancelled;
    bool Initialized; // the initialize handler succeeded and no halt has run
    bool Halted;
    NDIS_STATUS InitializeStatus;
    NDIS_STATUS OpenErrorStatus;
    UINT SelectedMediumIndex;
    NDIS_HANDLE AdapterContext; // from NdisMSetAttributesEx
    UINT CheckForHangSeconds;
    ULONG AttributeFlags;
    NDIS_INTERFACE_TYPE InterfaceType;
};
NdisHostMiniportState NdisHostMiniportStateForTest(NdisHostAdapter* adapter);

// What the protocols above a virtual miniport heard from it, in order.
enum NdisHostIndicationKind {
    NdisHostIndicatedStatus,
    NdisHostIndicatedStatusComplete,
    NdisHostIndicatedPnPEvent,
    NdisHostQueryCompleted,
    NdisHostSetCompleted,
    NdisHostSendCompleted,
    NdisHostIndicatedReceivePacket,
    NdisHostIndicatedEthReceive,
    NdisHostIndicatedTrReceive,
    NdisHostIndicatedEthReceiveComplete,
    NdisHostIndicatedTrReceiveComplete,
    NdisHostTransferCompleted,
};
struct NdisHostIndication {
    NdisHostIndicationKind Kind;
    NDIS_STATUS Status;         // the status indicated, the completion status, or the packet's status
    NET_PNP_EVENT_CODE Event;   // for PnP events
    PNDIS_PACKET Packet;        // for send and transfer completions and packet indications
    std::vector<UCHAR> Bytes;   // a look-ahead indication's header and look-ahead; a packet's bytes
    NDIS_HANDLE ReceiveContext; // a look-ahead indication's receive context
};
std::vector<NdisHostIndication> NdisHostIndicationsForTest(NdisHostAdapter* adapter);
void NdisHostClearIndicationsForTest(NdisHostAdapter* adapter);

// One query or set of an upper protocol and its outcome so far.
struct NdisHostUpperRequest {
    NDIS_STATUS Returned; // what the handler returned
    bool Completed;       // finished: at once, or later through the completion call
    NDIS_STATUS Status;   // the final status once completed
    ULONG BytesDone;      // bytes written (query) or read (set)
    ULONG BytesNeeded;
    std::vector<UCHAR> Buffer; // the information buffer as it is now
};
// An upper protocol queries or sets `oid` with a buffer of `length` bytes (a set sends `bytes`).
NdisHostUpperRequest NdisHostUpperQuery(NdisHostAdapter* adapter, NDIS_OID oid, ULONG length);
NdisHostUpperRequest NdisHostUpperSet(NdisHostAdapter* adapter, NDIS_OID oid, const void* bytes,
                                      ULONG length);
// The latest query or set of the adapter's virtual miniport as it stands now.
NdisHostUpperRequest NdisHostLatestUpperRequestForTest(NdisHostAdapter* adapter);
// OID_PNP_SET_POWER with the state in a buffer of `length` bytes (4 is right).
NdisHostUpperRequest NdisHostUpperSetPower(NdisHostAdapter* adapter, NDIS_DEVICE_POWER_STATE state,
                                           ULONG length = 4);

// --- Packets --------------------------------------------------------------------------------------------

// Whether NdisIMGetCurrentPacketStack reports a stack slot left for this packet (true by default).
void NdisHostSetPacketStackSlotLeftForTest(PNDIS_PACKET packet, bool slotLeft);
// NdisQueryBufferSafe yields no address for this buffer, as for one that cannot be mapped to system
// space; until the host is reset.
void NdisHostSetBufferUnmappableForTest(PNDIS_BUFFER buffer, bool unmappable);

// A packet of an upper protocol or of the lower adapter holding a copy of `frame`, split into `pieces`
// buffers of near-equal size. It comes from the host's own pool and goes back with NdisHostFreeFramePacket.
PNDIS_PACKET NdisHostMakeFramePacket(const void* frame, ULONG length, UINT pieces = 1);
void NdisHostFreeFramePacket(PNDIS_PACKET packet);
// The bytes of a packet's buffer chain, in order.
std::vector<UCHAR> NdisHostPacketBytes(PNDIS_PACKET packet);

// An upper protocol sends packets through the virtual miniport; completions are recorded as indications.
void NdisHostUpperSendPackets(NdisHostAdapter* adapter, PNDIS_PACKET* packets, UINT count);
// An upper protocol gives back a packet the virtual miniport indicated to it.
void NdisHostUpperReturnPacket(NdisHostAdapter* adapter, PNDIS_PACKET packet);
// An upper protocol asks for the frame of the latest look-ahead indication, from `offset` after its header.
NDIS_STATUS NdisHostUpperTransferData(NdisHostAdapter* adapter, UINT offset, UINT count, PNDIS_PACKET packet,
                                      UINT* bytesTransferred);

// The lower adapter receives a frame and indicates it as a packet; returns the receive-packet handler's
// answer (the references kept on the packet).
INT NdisHostLowerIndicateReceivePacket(NdisHostAdapter* adapter, PNDIS_PACKET packet);
// The lower adapter indicates a frame by header and look-ahead; `packet`, when not null, is what
// NdisGetReceivedPacket yields for this indication. Returns the receive handler's status.
NDIS_STATUS NdisHostLowerIndicateReceive(NdisHostAdapter* adapter, const void* frame, ULONG length,
                                         UINT headerSize, UINT lookaheadSize, PNDIS_PACKET packet);
void NdisHostLowerIndicateReceiveComplete(NdisHostAdapter* adapter);
// Packets handed to the lower adapter by NdisSend; packets given back to the lower adapters by
// NdisReturnPackets.
std::vector<PNDIS_PACKET> NdisHostLowerSentPacketsForTest(NdisHostAdapter* adapter);
std::vector<PNDIS_PACKET> NdisHostReturnedPacketsForTest();

// --- The control device ---------------------------------------------------------------------------------

// Successful NdisMRegisterDevice calls so far, and whether `userPath` (as "\\\\.\\ZELKARP") opens now.
uint32_t NdisHostDeviceRegistrationsForTest();
bool NdisHostDeviceExistsForTest(const std::string& userPath);

// A user-mode caller's handle on a control device.
struct NdisHostDeviceHandle;
// Opens the device as CreateFile would (the create request reaches the driver); null if it does not exist.
NdisHostDeviceHandle* NdisHostOpenDevice(const std::string& userPath);
// Sends one buffered control request; true when the driver answered with success. Fails without
// reaching the driver once the device has been deregistered.
bool NdisHostDeviceIoControl(NdisHostDeviceHandle* handle, ULONG code, const void* input, ULONG inputLength,
                             void* output, ULONG outputLength, ULONG* bytesReturned);
// Cleanup and close reach the driver while the device exists; the handle is freed in any case.
void NdisHostCloseDevice(NdisHostDeviceHandle* handle);
