// Process names as the guard records them: 32 UTF-16 units, at most 31 characters and a terminating zero.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "common/zelk_records.h"

// The record's name as an aligned copy; the record itself is packed.
inline void ReadProcessName(const GuardEvent& record, uint16_t (&name)[GUARD_PROCESS_NAME_UNITS]) {
    memcpy(name, reinterpret_cast<const uint8_t*>(&record) + offsetof(GuardEvent, ProcessName), sizeof(name));
}

inline bool ProcessNameIsEmpty(const uint16_t* name) {
    return name[0] == 0;
}

// Compares up to the terminator or 31 units, folding ASCII letters.
bool ProcessNamesEqualIgnoringCase(const uint16_t* a, const uint16_t* b);
// Whether `name` equals the ASCII `text`, ignoring case.
bool ProcessNameIs(const uint16_t* name, const char* text);
// Copies at most 31 units and zero-fills the rest of `target`.
void CopyProcessName(uint16_t* target, const uint16_t* source);
