/* The current process for the guard, from the Windows kernel. */
#include <ntddk.h>

#include "driver/guard/guard_platform.h"

/* The image-name search reads this far into a process object and no further. */
#define PROCESS_OBJECT_SEARCH_SIZE (0x3000 + 5)

const void* GuardCurrentProcess(void) {
    return IoGetCurrentProcess();
}

uint64_t GuardProcessId(const void* process) {
    return (uint64_t)(ULONG_PTR)PsGetProcessId((PEPROCESS)process);
}

size_t GuardProcessObjectSize(const void* process) {
    (void)process;
    return PROCESS_OBJECT_SEARCH_SIZE;
}
