// The guard's three tables, shared by every adapter: the trusted bindings that the service sends down,
// the findings not yet read by the service, and recent ARP traffic by target address, from which scans
// are recognised. Each table has its own lock and no operation ever holds two.
#ifndef ZELK_DRIVER_GUARD_GUARD_TABLES_H
#define ZELK_DRIVER_GUARD_GUARD_TABLES_H

#include <stdbool.h>

#include "common/zelk_records.h"

#ifdef __cplusplus
extern "C" {
#endif

#define GUARD_MAX_SCAN_ENTRIES 8192u
#define SCAN_WINDOW_SECONDS 2u
#define SCAN_MIN_TARGETS 128u

#pragma pack(push, 1)
// The latest ARP frame seen for one target address.
typedef struct ScanEntry {
    MacAddress SenderMac; // sender hardware address of the latest frame for this target
    Ipv4Address SenderIp; // sender protocol address of that frame
    Ipv4Address TargetIp; // the key: no two entries share it
    uint32_t Seen;        // whole seconds since 1601 of that frame, modulo 2^32
    uint8_t Marked;       // 1 once its sender was found scanning; a refresh keeps it
} ScanEntry;
#pragma pack(pop)
ZELK_STATIC_ASSERT(sizeof(ScanEntry) == 19, "ScanEntry is packed");

// Finds the image-name offset and readies the locks; the tables start empty. Runs first at load.
void GuardInitialize(void);
// Frees all three tables; pending events are lost. Runs last at unload.
void GuardTablesFree(void);

// Replaces the whole binding table with `length` bytes of ArpBinding records (a multiple of 10, maybe 0).
// On allocation failure the table is left empty and the result is false.
bool BindingTableReplace(const void* bytes, uint32_t length);
// True when a trusted binding names `ip` with a MAC address other than `mac`.
bool BindingConflict(const Ipv4Address* ip, const MacAddress* mac);

// Stores `event` stamped with the current time, or merges it into a pending record of the same sort.
// True only when a new record was stored.
bool EventTableAdd(const GuardEvent* event);
// Hands every pending record to `buffer`, oldest first, and forgets them; on success `bytesOut` is
// 91 times their number. Fails, keeping every record, when nothing is pending or the buffer is short.
bool EventTableDrain(void* buffer, uint32_t length, uint32_t* bytesOut);

// Records that `sender` sent an ARP frame towards `target`. True when a new entry was made.
bool ScanTableTouch(const MacAddress* senderMac, const Ipv4Address* senderIp, const Ipv4Address* targetIp);
// True when `sender` was the latest sender towards at least 128 targets within the scan window.
bool ScanTableCheck(const MacAddress* senderMac);

// Counts for tests and tools; each takes its table's lock.
uint32_t BindingTableCountForTest(void);
uint32_t EventTableCountForTest(void);
uint32_t ScanTableCountForTest(void);

#ifdef __cplusplus
}
#endif

#endif /* ZELK_DRIVER_GUARD_GUARD_TABLES_H */
