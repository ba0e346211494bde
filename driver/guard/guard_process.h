// Naming the local process behind a sent frame. The kernel gives the process id directly; the image
// name is read from the process object at an offset found once at load by searching the System
// process's own object for the text "System".
#pragma once

#include <stdint.h>

// Sets the image-name offset; 0 means not found, and then no names are given.
void GuardFindImageNameOffset();
uint32_t GuardImageNameOffset();
// Writes the current process's upper-cased image name as 32 UTF-16 units (zero-terminated and
// zero-filled) into `processName`. False, with the field all zero, when no name is known.
bool GuardGetProcessName(uint16_t* processName);
// The current process's id, widened to 64 bits; 0 when there is no current process.
uint64_t GuardGetProcessId();
