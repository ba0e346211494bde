/* The guard's platform seam over the Windows kernel: clock, pool, locks and request completion. The current
 * process comes from guard_process_ntos.c (or, in the Wine test build, from the test driver). */
#include <ntddk.h>

#include "driver/guard/guard_dispatch.h"
#include "driver/guard/guard_platform.h"

typedef struct KernelLock {
    KSPIN_LOCK SpinLock;
    KIRQL OldIrql; /* written by the holder only */
} KernelLock;
_Static_assert(sizeof(KernelLock) <= sizeof(GuardLock), "a spin lock fits the opaque storage");

static KernelLock* AsKernelLock(GuardLock* lock) {
    return (KernelLock*)lock->Storage;
}

uint64_t GuardQuerySystemTime(void) {
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return (uint64_t)now.QuadPart;
}

void* GuardAllocatePool(size_t bytes) {
    return ExAllocatePool(NonPagedPool, bytes);
}

void GuardFreePool(void* memory) {
    ExFreePoolWithTag(memory, 0);
}

void GuardLockInitialize(GuardLock* lock) {
    KeInitializeSpinLock(&AsKernelLock(lock)->SpinLock);
}

void GuardLockAcquire(GuardLock* lock) {
    KIRQL oldIrql;
    KeAcquireSpinLock(&AsKernelLock(lock)->SpinLock, &oldIrql);
    AsKernelLock(lock)->OldIrql = oldIrql;
}

void GuardLockRelease(GuardLock* lock) {
    KeReleaseSpinLock(&AsKernelLock(lock)->SpinLock, AsKernelLock(lock)->OldIrql);
}

void GuardCompleteRequest(GuardRequest* request) {
    PIRP irp = (PIRP)request->PlatformRequest;
    ++request->Completions;
    if (irp != NULL) {
        irp->IoStatus.Status = (NTSTATUS)request->Status;
        irp->IoStatus.Information = (ULONG_PTR)request->Information;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
    }
}
