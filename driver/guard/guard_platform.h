/* What the guard needs from the platform, and nothing more: the system clock, non-paged memory, a lock
 * that may be taken at DISPATCH_LEVEL, the current process, and request completion.
 *
 * Two implementations sit side by side under platform/kernel/: one over the Windows kernel (plain C, since
 * the kernel headers of the cross toolchain build only as C), one for the host (tests and tools) with a
 * clock, allocator and current process that a test controls. The build picks one; guard code never tests
 * the platform itself. */
#ifndef ZELK_DRIVER_GUARD_GUARD_PLATFORM_H
#define ZELK_DRIVER_GUARD_GUARD_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* System time in 100 ns units since 1601-01-01 00:00 UTC. */
uint64_t GuardQuerySystemTime(void);

/* Non-paged memory; null when the pool is exhausted. Free accepts only what Allocate returned. */
void* GuardAllocatePool(size_t bytes);
void GuardFreePool(void* memory);

/* A mutual-exclusion lock usable at DISPATCH_LEVEL. Its storage is opaque and 8-byte aligned; each
 * implementation checks that its own lock fits. */
typedef struct GuardLock {
    uint64_t Storage[8];
} GuardLock;
void GuardLockInitialize(GuardLock* lock);
void GuardLockAcquire(GuardLock* lock);
void GuardLockRelease(GuardLock* lock);

/* The object of the process whose context the caller runs in; null when there is none. */
const void* GuardCurrentProcess(void);
/* The id of a process object. */
uint64_t GuardProcessId(const void* process);
/* How many bytes of a process object may be read from its start (the image-name search reads no further). */
size_t GuardProcessObjectSize(const void* process);

/* A 64-bit value that other processors read while one writes it: never seen half old, half new. */
static inline uint64_t GuardAtomicLoad64(const volatile uint64_t* value) {
    return __atomic_load_n(value, __ATOMIC_ACQUIRE);
}
static inline void GuardAtomicStore64(volatile uint64_t* value, uint64_t newValue) {
    __atomic_store_n(value, newValue, __ATOMIC_RELEASE);
}

#ifdef __cplusplus
}
#endif

#endif /* ZELK_DRIVER_GUARD_GUARD_PLATFORM_H */
