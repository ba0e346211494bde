#include "service/poller/process_name.h"

namespace {

const uint32_t kMaxNameUnits = GUARD_PROCESS_NAME_UNITS - 1;

uint16_t FoldAsciiCase(uint16_t unit) {
    return unit >= 'a' && unit <= 'z' ? static_cast<uint16_t>(unit - 32) : unit;
}

} // namespace

bool ProcessNamesEqualIgnoringCase(const uint16_t* a, const uint16_t* b) {
    for (uint32_t i = 0; i < kMaxNameUnits; ++i) {
        if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) {
            return false;
        }
        if (a[i] == 0) {
            return true;
        }
    }
    return true;
}

bool ProcessNameIs(const uint16_t* name, const char* text) {
    uint16_t wide[GUARD_PROCESS_NAME_UNITS] = {};
    for (uint32_t i = 0; i < kMaxNameUnits && text[i] != '\0'; ++i) {
        wide[i] = static_cast<unsigned char>(text[i]);
    }
    return ProcessNamesEqualIgnoringCase(name, wide);
}

void CopyProcessName(uint16_t* target, const uint16_t* source) {
    uint32_t i = 0;
    for (; i < kMaxNameUnits && source[i] != 0; ++i) {
        target[i] = source[i];
    }
    for (; i < GUARD_PROCESS_NAME_UNITS; ++i) {
        target[i] = 0;
    }
}
