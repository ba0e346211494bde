#include "service/poller/suppression_table.h"

#include <string.h>

namespace {

// The first free or expired slot, else the fallback slot AttackCount modulo 1024. Called under the lock.
uint32_t ChooseSlot(const SuppressionTable& table, int64_t now) {
    for (uint32_t slot = 0; slot < SUPPRESSION_SLOTS; ++slot) {
        const SuppressionEntry& entry = table.Slots[slot];
        if (entry.Mark == SUPPRESSION_FREE || !IsFresh(entry.Time, now)) {
            return slot;
        }
    }
    return table.AttackCount % SUPPRESSION_SLOTS;
}

SuppressionEntry* TakeSlot(SuppressionTable* table, int64_t now) {
    SuppressionEntry* entry = &table->Slots[ChooseSlot(*table, now)];
    memset(entry, 0, sizeof(*entry));
    ++table->AttackCount;
    return entry;
}

} // namespace

int64_t SecondsSince(uint32_t time, int64_t now) {
    return now - static_cast<int64_t>(time);
}

bool NoteInboundSource(SuppressionTable* table, const Ipv4Address& ip, int64_t now) {
    std::lock_guard<std::mutex> hold(table->Lock);
    for (const SuppressionEntry& entry : table->Slots) {
        if (entry.Mark == SUPPRESSION_INBOUND_SOURCE && Ipv4Equal(&entry.Ip, &ip)) {
            return false;
        }
    }
    SuppressionEntry* entry = TakeSlot(table, now);
    entry->Mark = SUPPRESSION_INBOUND_SOURCE;
    entry->Ip = ip;
    entry->Time = static_cast<uint32_t>(now);
    return true;
}

bool NoteLocalProgram(SuppressionTable* table, const uint16_t* name, const Ipv4Address& ip, int64_t now) {
    std::lock_guard<std::mutex> hold(table->Lock);
    for (SuppressionEntry& entry : table->Slots) {
        if (entry.Mark != SUPPRESSION_LOCAL_PROGRAM || !Ipv4Equal(&entry.Ip, &ip) ||
            ProcessNameIsEmpty(entry.ProcessName) ||
            !ProcessNamesEqualIgnoringCase(entry.ProcessName, name)) {
            continue;
        }
        if (!IsFresh(entry.Time, now)) {
            memset(&entry, 0, sizeof(entry));
            continue;
        }
        entry.Time = static_cast<uint32_t>(now);
        return false;
    }
    SuppressionEntry* entry = TakeSlot(table, now);
    entry->Mark = SUPPRESSION_LOCAL_PROGRAM;
    entry->Ip = ip;
    CopyProcessName(entry->ProcessName, name);
    entry->Time = static_cast<uint32_t>(now);
    return true;
}

void ClearInboundSources(SuppressionTable* table) {
    std::lock_guard<std::mutex> hold(table->Lock);
    for (SuppressionEntry& entry : table->Slots) {
        if (entry.Mark == SUPPRESSION_INBOUND_SOURCE) {
            memset(&entry, 0, sizeof(entry));
        }
    }
}
