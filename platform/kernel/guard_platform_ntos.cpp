// The guard's platform seam over the Windows kernel. The only guard file that includes kernel headers.
#include <ddk/ntddk.h>

#include "driver/guard/guard_dispatch.h"
#include "driver/guard/guard_platform.h"

extern "C" HANDLE NTAPI PsGetProcessId(PEPROCESS process);

namespace {

// The image-name search reads this far into a process object and no further.
const size_t kProcessObjectSearchSize = 0x3000 + 5;

struct KernelLock {
    KSPIN_LOCK SpinLock;
    KIRQL OldIrql; // written by the holder only
};
static_assert(sizeof(KernelLock) <= sizeof(GuardLock::Storage), "a spin lock fits the opaque storage");

KernelLock* AsKernelLock(GuardLock* lock) {
    return reinterpret_cast<KernelLock*>(lock->Storage);
}

} // namespace

uint64_t GuardQuerySystemTime() {
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<uint64_t>(now.QuadPart);
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

const void* GuardCurrentProcess() {
    return IoGetCurrentProcess();
}

uint64_t GuardProcessId(const void* process) {
    return reinterpret_cast<uint64_t>(PsGetProcessId(static_cast<PEPROCESS>(const_cast<void*>(process))));
}

size_t GuardProcessObjectSize(const void* /*process*/) {
    return kProcessObjectSearchSize;
}

void GuardCompleteRequest(GuardRequest* request) {
    ++request->Completions;
    auto* irp = static_cast<PIRP>(request->PlatformRequest);
    if (irp != nullptr) {
        irp->IoStatus.Status = static_cast<NTSTATUS>(request->Status);
        irp->IoStatus.Information = static_cast<ULONG_PTR>(request->Information);
        IofCompleteRequest(irp, IO_NO_INCREMENT);
    }
}
