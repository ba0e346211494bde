// The record of one binding to a lower adapter and of the virtual miniport above it, shared by the
// protocol edge and the miniport edge, with its reference counting.
#pragma once

#include <zelk_ndis.h>

#include "driver/guard/arp_guard.h"

// Pool tag of the record's block.
#define ADAPTER_POOL_TAG 0x496D5061u

struct Adapter {
    Adapter* Next;                 // link in AdapterList
    NDIS_HANDLE BindingHandle;     // open binding to the lower adapter; null when not open
    NDIS_HANDLE MiniportHandle;    // the virtual miniport; null before initialize and from the start of halt
    NDIS_HANDLE SendPacketPool;    // descriptors passed down
    NDIS_HANDLE ReceivePacketPool; // descriptors indicated up
    NDIS_STATUS OpenCloseStatus;   // final status of a pended open or close
    NDIS_EVENT OpenCloseEvent;     // set when a pended open or close completes
    NDIS_MEDIUM Medium;            // medium of the lower adapter
    NDIS_REQUEST Request;          // the one block through which queries and sets go down
    PULONG BytesNeeded;            // the upper caller's out-parameters for the forwarded request
    PULONG BytesReadOrWritten;
    BOOLEAN* ReceiveIndicated;  // one flag per processor: a look-ahead receive went up since the
    ULONG ProcessorCount;       // last receive-complete; the flags follow DeviceName's characters
    BOOLEAN RequestOutstanding; // Request is pending at the lower adapter
    BOOLEAN RequestQueued;      // Request is held until the lower adapter returns to D0
    BOOLEAN StandingBy;         // the virtual miniport is entering or in a low-power state
    BOOLEAN Unbinding;          // the unbind handler has started
    NDIS_SPIN_LOCK Lock;        // guards RefCount, PendingSends and the request and power flags
    NDIS_DEVICE_POWER_STATE MiniportPowerState;
    NDIS_DEVICE_POWER_STATE ProtocolPowerState; // of the lower adapter, as reported to the protocol edge
    NDIS_STRING DeviceName;          // the virtual miniport's device instance; characters follow the record
    NDIS_EVENT InitEvent;            // set when the virtual miniport's initialize handler has finished
    BOOLEAN InitPending;             // an initialisation was requested and has not finished
    NDIS_STATUS LastIndicatedStatus; // last media status indicated up
    NDIS_STATUS SuppressedStatus;    // latest media status held back while not in D0
    ULONG PendingSends;              // packets handed down and not yet completed
    LONG RefCount;
    BOOLEAN Halted;         // the virtual miniport has been halted
    GuardLocalMac LocalMac; // the lower adapter's MAC address, zero until learned
};

inline bool IsLowPower(NDIS_DEVICE_POWER_STATE state) {
    return state > NdisDeviceStateD0;
}

// InitPending crosses threads without a lock: the initialize handler clears it after publishing the
// miniport handle, and the unbind handler must see both in that order.
inline BOOLEAN AdapterInitPending(const Adapter* adapter) {
    return __atomic_load_n(&adapter->InitPending, __ATOMIC_ACQUIRE);
}
inline void AdapterSetInitPending(Adapter* adapter, BOOLEAN pending) {
    __atomic_store_n(&adapter->InitPending, pending, __ATOMIC_RELEASE);
}

// Size of the record's block: the record, the device name's characters, the per-processor flags.
inline UINT AdapterBlockSize(USHORT nameMaximumLength, ULONG processorCount) {
    return static_cast<UINT>(sizeof(Adapter) + nameMaximumLength + processorCount);
}

VOID AdapterAddRef(Adapter* adapter);
// Drops one reference; at zero frees the receive pool, the send pool and the record, and returns TRUE.
// The caller must not touch the record after TRUE.
BOOLEAN AdapterRelease(Adapter* adapter);
// Frees the pools (each if present) and the record, whatever the count.
VOID AdapterFree(Adapter* adapter);
