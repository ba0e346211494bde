#include "driver/guard/guard_tables.h"

#include "driver/guard/guard_platform.h"
#include "driver/guard/guard_process.h"

namespace {

const uint64_t kTicksPerSecond = 10000000;

// Every array is replaced, never resized in place: growing by one allocates count + 1 elements, copies
// the old ones and frees the old array, so a failed allocation leaves the table exactly as it was.
struct BindingTable {
    GuardLock Lock;
    ArpBinding* Bindings;
    uint32_t Count;
};

struct EventTable {
    GuardLock Lock;
    GuardEvent* Events;
    uint32_t Count;
};

struct ScanTable {
    GuardLock Lock;
    ScanEntry* Entries;
    uint32_t Count;
};

// Zero-initialised storage: no constructor runs at load.
BindingTable g_Bindings;
EventTable g_Events;
ScanTable g_Scans;

template <typename T> bool GrowByOne(T** array, uint32_t count) {
    T* grown = static_cast<T*>(GuardAllocatePool(sizeof(T) * (static_cast<size_t>(count) + 1)));
    if (grown == nullptr) {
        return false;
    }
    if (count > 0) {
        memcpy(grown, *array, sizeof(T) * count);
    }
    if (*array != nullptr) {
        GuardFreePool(*array);
    }
    *array = grown;
    return true;
}

template <typename T> void FreeArray(T** array, uint32_t* count) {
    if (*array != nullptr) {
        GuardFreePool(*array);
        *array = nullptr;
    }
    *count = 0;
}

uint32_t WholeSeconds(uint64_t time) {
    return static_cast<uint32_t>(time / kTicksPerSecond);
}

uint16_t FoldAsciiCase(uint16_t unit) {
    return (unit >= 'a' && unit <= 'z') ? static_cast<uint16_t>(unit - ('a' - 'A')) : unit;
}

// Compares two process names without regard to ASCII case, up to the terminator or the field's end.
bool ProcessNamesEqual(const uint16_t* a, const uint16_t* b) {
    for (uint32_t i = 0; i < GUARD_PROCESS_NAME_UNITS; ++i) {
        uint16_t unitA = FoldAsciiCase(a[i]);
        if (unitA != FoldAsciiCase(b[i])) {
            return false;
        }
        if (unitA == 0) {
            return true;
        }
    }
    return true;
}

bool EventsMerge(const GuardEvent& stored, const GuardEvent& added) {
    if (stored.Kind != added.Kind) {
        return false;
    }
    switch (added.Kind) {
    case GUARD_EVENT_LOCAL_SPOOF: {
        uint16_t storedName[GUARD_PROCESS_NAME_UNITS];
        uint16_t addedName[GUARD_PROCESS_NAME_UNITS];
        memcpy(storedName, stored.ProcessName, sizeof(storedName));
        memcpy(addedName, added.ProcessName, sizeof(addedName));
        return ProcessNamesEqual(storedName, addedName);
    }
    case GUARD_EVENT_INBOUND_SPOOF:
        return true;
    case GUARD_EVENT_ARP_SCAN:
        return Ipv4Equal(&stored.Ip, &added.Ip) && MacEqual(&stored.Mac, &added.Mac);
    default:
        return false;
    }
}

} // namespace

void GuardInitialize() {
    GuardFindImageNameOffset();
    GuardLockInitialize(&g_Scans.Lock);
    GuardLockInitialize(&g_Bindings.Lock);
    GuardLockInitialize(&g_Events.Lock);
    g_Bindings.Bindings = nullptr;
    g_Bindings.Count = 0;
    g_Events.Events = nullptr;
    g_Events.Count = 0;
    g_Scans.Entries = nullptr;
    g_Scans.Count = 0;
}

void GuardTablesFree() {
    GuardLockAcquire(&g_Bindings.Lock);
    FreeArray(&g_Bindings.Bindings, &g_Bindings.Count);
    GuardLockRelease(&g_Bindings.Lock);

    GuardLockAcquire(&g_Scans.Lock);
    FreeArray(&g_Scans.Entries, &g_Scans.Count);
    GuardLockRelease(&g_Scans.Lock);

    GuardLockAcquire(&g_Events.Lock);
    FreeArray(&g_Events.Events, &g_Events.Count);
    GuardLockRelease(&g_Events.Lock);
}

bool BindingTableReplace(const void* bytes, uint32_t length) {
    GuardLockAcquire(&g_Bindings.Lock);
    FreeArray(&g_Bindings.Bindings, &g_Bindings.Count);
    if (bytes != nullptr && length > 0) {
        auto* bindings = static_cast<ArpBinding*>(GuardAllocatePool(length));
        if (bindings == nullptr) {
            GuardLockRelease(&g_Bindings.Lock);
            return false;
        }
        memcpy(bindings, bytes, length);
        g_Bindings.Bindings = bindings;
        g_Bindings.Count = length / ARP_BINDING_SIZE;
    }
    GuardLockRelease(&g_Bindings.Lock);
    return true;
}

bool BindingConflict(const Ipv4Address* ip, const MacAddress* mac) {
    const uint32_t wantedIp = Ipv4ToValue(ip);
    const uint64_t senderMac = MacToValue(mac);
    bool conflict = false;
    GuardLockAcquire(&g_Bindings.Lock);
    for (uint32_t i = 0; i < g_Bindings.Count; ++i) {
        const uint32_t boundIp = Ipv4ToValue(&g_Bindings.Bindings[i].Ip);
        const uint64_t boundMac = MacToValue(&g_Bindings.Bindings[i].Mac);
        if (boundMac != 0 && boundIp != 0 && boundIp == wantedIp && boundMac != senderMac) {
            conflict = true;
            break;
        }
    }
    GuardLockRelease(&g_Bindings.Lock);
    return conflict;
}

bool EventTableAdd(const GuardEvent* event) {
    const uint64_t now = GuardQuerySystemTime();
    GuardLockAcquire(&g_Events.Lock);
    if (g_Events.Count >= GUARD_MAX_EVENTS) {
        GuardLockRelease(&g_Events.Lock);
        return false;
    }
    for (uint32_t i = 0; i < g_Events.Count; ++i) {
        if (EventsMerge(g_Events.Events[i], *event)) {
            g_Events.Events[i].Time = now;
            GuardLockRelease(&g_Events.Lock);
            return false;
        }
    }
    if (!GrowByOne(&g_Events.Events, g_Events.Count)) {
        GuardLockRelease(&g_Events.Lock);
        return false;
    }
    GuardEvent* stored = &g_Events.Events[g_Events.Count];
    memcpy(stored, event, sizeof(*stored));
    stored->Time = now;
    ++g_Events.Count;
    GuardLockRelease(&g_Events.Lock);
    return true;
}

bool EventTableDrain(void* buffer, uint32_t length, uint32_t* bytesOut) {
    GuardLockAcquire(&g_Events.Lock);
    const uint64_t needed = static_cast<uint64_t>(g_Events.Count) * GUARD_EVENT_SIZE;
    if (g_Events.Count == 0 || buffer == nullptr || length % GUARD_EVENT_SIZE != 0 || length < needed) {
        GuardLockRelease(&g_Events.Lock);
        return false;
    }
    memcpy(buffer, g_Events.Events, static_cast<size_t>(needed));
    FreeArray(&g_Events.Events, &g_Events.Count);
    GuardLockRelease(&g_Events.Lock);
    *bytesOut = static_cast<uint32_t>(needed);
    return true;
}

bool ScanTableTouch(const MacAddress* senderMac, const Ipv4Address* senderIp, const Ipv4Address* targetIp) {
    const uint32_t now = WholeSeconds(GuardQuerySystemTime());
    const uint32_t target = Ipv4ToValue(targetIp);
    GuardLockAcquire(&g_Scans.Lock);
    ScanEntry* entries = g_Scans.Entries;
    ScanEntry* stale = nullptr;
    for (uint32_t i = 0; i < g_Scans.Count; ++i) {
        if (Ipv4ToValue(&entries[i].TargetIp) == target) {
            entries[i].SenderMac = *senderMac;
            entries[i].SenderIp = *senderIp;
            entries[i].Seen = now;
            GuardLockRelease(&g_Scans.Lock);
            return false;
        }
        if (stale == nullptr && static_cast<uint32_t>(now - entries[i].Seen) > SCAN_WINDOW_SECONDS) {
            stale = &entries[i];
        }
    }
    ScanEntry* entry;
    if (g_Scans.Count < GUARD_MAX_SCAN_ENTRIES) {
        if (!GrowByOne(&g_Scans.Entries, g_Scans.Count)) {
            GuardLockRelease(&g_Scans.Lock);
            return false;
        }
        entry = &g_Scans.Entries[g_Scans.Count++];
    } else if (stale != nullptr) {
        // A full table would otherwise blind the guard to scans for good, since entries never age out.
        // An entry older than the scan window can no longer count towards any scan, so it is reused.
        entry = stale;
    } else {
        GuardLockRelease(&g_Scans.Lock);
        return false;
    }
    entry->SenderMac = *senderMac;
    entry->SenderIp = *senderIp;
    entry->TargetIp = *targetIp;
    entry->Seen = now;
    entry->Marked = 0;
    GuardLockRelease(&g_Scans.Lock);
    return true;
}

bool ScanTableCheck(const MacAddress* senderMac) {
    const uint32_t now = WholeSeconds(GuardQuerySystemTime());
    const uint64_t sender = MacToValue(senderMac);
    GuardLockAcquire(&g_Scans.Lock);
    uint32_t recent = 0;
    for (uint32_t i = 0; i < g_Scans.Count; ++i) {
        const ScanEntry& entry = g_Scans.Entries[i];
        if (MacToValue(&entry.SenderMac) == sender &&
            static_cast<uint32_t>(now - entry.Seen) <= SCAN_WINDOW_SECONDS) {
            ++recent;
        }
    }
    const bool scanning = recent >= SCAN_MIN_TARGETS;
    if (scanning) {
        for (uint32_t i = 0; i < g_Scans.Count; ++i) {
            if (MacToValue(&g_Scans.Entries[i].SenderMac) == sender) {
                g_Scans.Entries[i].Marked = 1;
            }
        }
    }
    GuardLockRelease(&g_Scans.Lock);
    return scanning;
}

namespace {
template <typename Table> uint32_t CountUnderLock(Table* table) {
    GuardLockAcquire(&table->Lock);
    const uint32_t count = table->Count;
    GuardLockRelease(&table->Lock);
    return count;
}
} // namespace

uint32_t BindingTableCountForTest() {
    return CountUnderLock(&g_Bindings);
}
uint32_t EventTableCountForTest() {
    return CountUnderLock(&g_Events);
}
uint32_t ScanTableCountForTest() {
    return CountUnderLock(&g_Scans);
}
