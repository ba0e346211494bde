/* The guard's platform seam over the Windows kernel. The only guard file that includes kernel headers. */
#include <ntddk.h>

#include "driver/guard/guard_dispatch.h"
#include "driver/guard/guard_platform.h"

/* The image-name search reads this far into a process object and no further. */
#define PROCESS_OBJECT_SEARCH_SIZE (0x3000 + 5)

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

const void* GuardCurrentProcess(void) {
    return IoGetCurrentProcess();
}

uint64_t GuardProcessId(const void* process) {
    return (uint64_t)(ULONG_PTR)PsGetProcessId((PEPROCESS)process);
}

size_t GuardProcessObjectSize(const void* process) {
    (void)process;
#ifdef ZELK_GUARD_WINE_TEST_BUILD
    /* Wine's process object is a small structure of its own, not the kernel's: the image-name search would
     * read far past it, so the Wine test build finds no offset and names no processes. */
    return 0;
#else
    return PROCESS_OBJECT_SEARCH_SIZE;
#endif
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
