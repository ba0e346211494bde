// Naming the local process behind a sent frame. The kernel gives the process id directly; the image
// name is read from the process object at an offset found once at load by searching the System
// process's own object for the text "System".
#ifndef ZELK_DRIVER_GUARD_GUARD_PROCESS_H
#define ZELK_DRIVER_GUARD_GUARD_PROCESS_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Sets the image-name offset; 0 means not found, and then no names are given.
void GuardFindImageNameOffset(void);
uint32_t GuardImageNameOffset(void);
// Writes the current process's upper-cased image name as 32 UTF-16 units (zero-terminated and
// zero-filled) into `processName`. False, with the field all zero, when no name is known.
bool GuardGetProcessName(uint16_t* processName);
// The current process's id, widened to 64 bits; 0 when there is no current process.
uint64_t GuardGetProcessId(void);

#ifdef __cplusplus
}
#endif

#endif /* ZELK_DRIVER_GUARD_GUARD_PROCESS_H */
