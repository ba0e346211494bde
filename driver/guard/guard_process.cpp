#include "driver/guard/guard_process.h"

#include "common/zelk_records.h"
#include "driver/guard/guard_platform.h"

namespace {

const uint32_t kImageNameSearchLimit = 0x3000;
const uint32_t kImageNameMaxBytes = 31;
const char kSystemImageName[] = "System";
const uint32_t kSystemImageNameLength = sizeof(kSystemImageName) - 1;

// Written once during load, before any frame can arrive; read-only afterwards.
uint32_t g_ImageNameOffset;

uint8_t UpperAscii(uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - ('a' - 'A')) : c;
}

// Compares `count` bytes with `text` without regard to ASCII case, stopping at a zero byte.
bool MatchesIgnoringCase(const uint8_t* bytes, const char* text, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (UpperAscii(bytes[i]) != UpperAscii(static_cast<uint8_t>(text[i]))) {
            return false;
        }
        if (bytes[i] == 0) {
            return true;
        }
    }
    return true;
}

} // namespace

void GuardFindImageNameOffset() {
    g_ImageNameOffset = 0;
    const void* process = GuardCurrentProcess();
    if (process == nullptr) {
        return;
    }
    const auto* object = static_cast<const uint8_t*>(process);
    size_t searchable = GuardProcessObjectSize(process);
    if (searchable > kImageNameSearchLimit + kSystemImageNameLength - 1) {
        searchable = kImageNameSearchLimit + kSystemImageNameLength - 1;
    }
    // A match at offset 0 ends the search as well; it leaves the offset 0, so no names are given.
    for (uint32_t offset = 0; offset + kSystemImageNameLength <= searchable; ++offset) {
        if (MatchesIgnoringCase(object + offset, kSystemImageName, kSystemImageNameLength)) {
            g_ImageNameOffset = offset;
            return;
        }
    }
}

uint32_t GuardImageNameOffset() {
    return g_ImageNameOffset;
}

bool GuardGetProcessName(uint16_t* processName) {
    if (processName == nullptr) {
        return false;
    }
    memset(processName, 0, GUARD_PROCESS_NAME_UNITS * sizeof(uint16_t));
    if (g_ImageNameOffset == 0) {
        return false;
    }
    const void* process = GuardCurrentProcess();
    if (process == nullptr) {
        return false;
    }
    const uint8_t* name = static_cast<const uint8_t*>(process) + g_ImageNameOffset;
    size_t readable = GuardProcessObjectSize(process) - g_ImageNameOffset;
    if (readable > kImageNameMaxBytes) {
        readable = kImageNameMaxBytes;
    }
    for (size_t i = 0; i < readable && name[i] != 0; ++i) {
        processName[i] = UpperAscii(name[i]);
    }
    return true;
}

uint64_t GuardGetProcessId() {
    const void* process = GuardCurrentProcess();
    return process == nullptr ? 0 : GuardProcessId(process);
}
