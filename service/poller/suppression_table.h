// What the service has recorded recently, so that a repeated finding is not recorded again: sources of
// inbound spoofing (until the correction loop ends) and local programs that sent spoofed ARP (for 300 s
// after their last packet).
#pragma once

#include <stdint.h>

#include <mutex>

#include "common/zelk_records.h"
#include "service/poller/process_name.h"

enum SuppressionMark : uint8_t {
    SUPPRESSION_FREE = 0,
    SUPPRESSION_INBOUND_SOURCE = 1,
    SUPPRESSION_LOCAL_PROGRAM = 2,
};

struct SuppressionEntry {
    uint8_t Mark;                                   // a SuppressionMark
    uint16_t ProcessName[GUARD_PROCESS_NAME_UNITS]; // the program's name; empty for an inbound source
    Ipv4Address Ip; // the spoofing source, or the address the program's packet named
    uint32_t Time;  // low 32 bits of the seconds since 1970 when made or last refreshed
};

constexpr uint32_t SUPPRESSION_SLOTS = 1024;
// An entry is fresh while its age is at most this many seconds; the correction loop uses the same bound.
constexpr int64_t SUPPRESSION_WINDOW_SECONDS = 300;

struct SuppressionTable {
    std::mutex Lock; // the table lock: guards Slots and AttackCount; no other lock is taken while it is held
    SuppressionEntry Slots[SUPPRESSION_SLOTS];
    uint32_t AttackCount; // new entries made; picks the slot to overwrite when the table is full
};

// Age of a stored time against `now`; negative when the clock went back.
int64_t SecondsSince(uint32_t time, int64_t now);
inline bool IsFresh(uint32_t time, int64_t now) {
    return SecondsSince(time, now) <= SUPPRESSION_WINDOW_SECONDS;
}

// An inbound spoofing source: true, making an entry, when no inbound-source entry names `ip` (however old).
bool NoteInboundSource(SuppressionTable* table, const Ipv4Address& ip, int64_t now);
// A local program that sent spoofed ARP naming `ip`: true, making an entry, unless a fresh entry for the same
// program and address exists (which is refreshed); expired matches are cleared on the way.
bool NoteLocalProgram(SuppressionTable* table, const uint16_t* name, const Ipv4Address& ip, int64_t now);
// At the end of a correction run every inbound spoofing source becomes reportable again.
void ClearInboundSources(SuppressionTable* table);
