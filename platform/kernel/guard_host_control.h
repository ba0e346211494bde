// Controls of the host stand-in for the guard's platform seam, for tests and host tools: a clock that
// the caller sets, an allocator that can be made to fail, and the process a thread runs "in".
#pragma once

#include <stddef.h>
#include <stdint.h>

// The system clock of the host stand-in, in 100 ns units since 1601; it moves only when told to.
void GuardHostSetTimeForTest(uint64_t time);
void GuardHostAdvanceTimeForTest(uint64_t ticks);

// The allocation `n` calls from now fails (1 = the very next one); 0 disarms.
void GuardHostFailAllocationForTest(uint32_t n);
// Blocks allocated and not yet freed.
int64_t GuardHostOutstandingAllocationsForTest();
uint64_t GuardHostAllocationCountForTest();

// A process object as the stand-in presents it: an id and a block of bytes in which the image name
// lies at GUARD_HOST_IMAGE_NAME_OFFSET, as it would in a kernel process object.
#define GUARD_HOST_PROCESS_OBJECT_SIZE 0x600u
#define GUARD_HOST_IMAGE_NAME_OFFSET 0x450u
struct GuardHostProcess {
    uint64_t Id;
    unsigned char Object[GUARD_HOST_PROCESS_OBJECT_SIZE];
};

// Fills `process` with `id` and `imageName` (up to `nameLength` bytes, no terminator added beyond
// what fits at the image-name offset).
void GuardHostMakeProcess(GuardHostProcess* process, uint64_t id, const char* imageName, size_t nameLength);
// The System process (id 4): the process a thread runs in until told otherwise, as during driver entry.
const GuardHostProcess* GuardHostSystemProcess();
// The current process of the calling thread; null means "no current process".
void GuardHostSetCurrentProcessForTest(const GuardHostProcess* process);
// Back to the System process for the calling thread.
void GuardHostResetCurrentProcessForTest();

// How many requests were completed through the seam.
uint64_t GuardHostCompletedRequestsForTest();
