// Synchronisation of the simulated NDIS 5 host: spin locks that raise the caller to DISPATCH_LEVEL,
// notification events, NdisMSleep and processor numbers. They behave as the real ones do on real
// threads: a spin lock spins, a wait blocks, a sleep at DISPATCH_LEVEL is a fault the host records.
#pragma once

#include "ndis_types.h"

#define PASSIVE_LEVEL ((KIRQL)0)
#define DISPATCH_LEVEL ((KIRQL)2)

// The interrupt request level of the calling thread.
KIRQL KeGetCurrentIrql();

struct NDIS_SPIN_LOCK {
    ULONG_PTR SpinLock;
    KIRQL OldIrql; // written by the holder only
};
typedef NDIS_SPIN_LOCK* PNDIS_SPIN_LOCK;

VOID NdisAllocateSpinLock(PNDIS_SPIN_LOCK lock);
VOID NdisFreeSpinLock(PNDIS_SPIN_LOCK lock);
// Raises to DISPATCH_LEVEL and spins until the lock is free; the previous level is kept in the lock.
VOID NdisAcquireSpinLock(PNDIS_SPIN_LOCK lock);
VOID NdisReleaseSpinLock(PNDIS_SPIN_LOCK lock);
// The same for callers already at DISPATCH_LEVEL.
VOID NdisDprAcquireSpinLock(PNDIS_SPIN_LOCK lock);
VOID NdisDprReleaseSpinLock(PNDIS_SPIN_LOCK lock);

// A notification event: once set it stays set, releasing every waiter, until reset.
struct NDIS_EVENT {
    LONG Signaled;
};
typedef NDIS_EVENT* PNDIS_EVENT;

VOID NdisInitializeEvent(PNDIS_EVENT event);
VOID NdisSetEvent(PNDIS_EVENT event);
VOID NdisResetEvent(PNDIS_EVENT event);
// Waits at PASSIVE_LEVEL; 0 milliseconds waits without time-out. TRUE when the event was set.
BOOLEAN NdisWaitEvent(PNDIS_EVENT event, UINT millisecondsToWait);

// Sleeps at PASSIVE_LEVEL for at least the given number of microseconds.
VOID NdisMSleep(ULONG microsecondsToSleep);

// Processor numbers across all processor groups, 0 to the count minus 1.
struct PROCESSOR_NUMBER {
    USHORT Group;
    UCHAR Number;
    UCHAR Reserved;
};
typedef PROCESSOR_NUMBER* PPROCESSOR_NUMBER;
#define ALL_PROCESSOR_GROUPS 0xFFFFu

ULONG KeQueryMaximumProcessorCountEx(USHORT groupNumber);
// The system-wide number of the processor the caller runs on; `processorNumber` may be null.
ULONG KeGetCurrentProcessorNumberEx(PPROCESSOR_NUMBER processorNumber);
