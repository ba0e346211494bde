#include "driver/guard/arp_guard.h"

#include "common/zelk_records.h"
#include "driver/guard/guard_platform.h"
#include "driver/guard/guard_process.h"
#include "driver/guard/guard_tables.h"

namespace {

// One value for the whole driver; zero at load and never cleared while loaded.
alignas(8) volatile uint64_t g_LastSpooferMac;

const uint32_t kIpBroadcast = 0xFFFFFFFFu;

// The frame fields the guard reads, in wire order.
struct ArpFields {
    MacAddress EthernetSource;
    MacAddress SenderMac;
    Ipv4Address SenderIp;
    MacAddress TargetMac;
    Ipv4Address TargetIp;
};

ArpFields ReadArpFields(const uint8_t* frame) {
    ArpFields fields;
    memcpy(&fields.EthernetSource, frame + 6, sizeof(MacAddress));
    memcpy(&fields.SenderMac, frame + 22, sizeof(MacAddress));
    memcpy(&fields.SenderIp, frame + 28, sizeof(Ipv4Address));
    memcpy(&fields.TargetMac, frame + 32, sizeof(MacAddress));
    memcpy(&fields.TargetIp, frame + 38, sizeof(Ipv4Address));
    return fields;
}

struct SendingProcess {
    uint64_t Id;
    uint16_t Name[GUARD_PROCESS_NAME_UNITS];
};

void AddEvent(EventKind kind, const MacAddress& mac, const Ipv4Address& ip, const SendingProcess& process) {
    GuardEvent event;
    memset(&event, 0, sizeof(event));
    event.Kind = static_cast<uint8_t>(kind);
    event.Mac = mac;
    event.Ip = ip;
    event.ProcessId = process.Id;
    memcpy(event.ProcessName, process.Name, sizeof(event.ProcessName));
    EventTableAdd(&event);
}

GuardVerdict AnalyzeInbound(const ArpFields& arp, const SendingProcess& none) {
    const uint64_t sender = MacToValue(&arp.SenderMac);
    if (sender != GuardAtomicLoad64(&g_LastSpooferMac) && !BindingConflict(&arp.SenderIp, &arp.SenderMac)) {
        return GUARD_PASS;
    }
    AddEvent(GUARD_EVENT_INBOUND_SPOOF, arp.SenderMac, arp.SenderIp, none);
    GuardAtomicStore64(&g_LastSpooferMac, sender);
    return GUARD_DROP;
}

GuardVerdict AnalyzeOutbound(uint64_t ownMac, const ArpFields& arp, const SendingProcess& process) {
    const uint32_t target = Ipv4ToValue(&arp.TargetIp);
    if (target == kIpBroadcast || target == 0) {
        return GUARD_PASS;
    }
    const uint64_t source = MacToValue(&arp.EthernetSource);
    const uint64_t sender = MacToValue(&arp.SenderMac);
    const bool forged = (ownMac != 0 && (source != ownMac || sender != ownMac)) || source != sender;
    if (forged) {
        AddEvent(GUARD_EVENT_LOCAL_SPOOF, arp.SenderMac, arp.SenderIp, process);
        return GUARD_DROP;
    }
    if (BindingConflict(&arp.SenderIp, &arp.SenderMac)) {
        // The frame would mislead its target about a trusted address: name the target.
        AddEvent(GUARD_EVENT_LOCAL_SPOOF, arp.TargetMac, arp.TargetIp, process);
        return GUARD_DROP;
    }
    return GUARD_PASS;
}

} // namespace

void GuardPublishLocalMac(GuardLocalMac* localMac, const uint8_t* macBytes) {
    MacAddress mac;
    memcpy(mac.Bytes, macBytes, sizeof(mac.Bytes));
    GuardAtomicStore64(&localMac->Value, MacToValue(&mac));
}

GuardVerdict ArpGuardInspect(const GuardLocalMac* localMac, const uint8_t* frame, uint32_t length,
                             GuardDirection direction) {
    if (!GuardIsArpFrame(frame, length)) {
        return GUARD_PASS;
    }
    const uint64_t ownMac = localMac == nullptr ? 0 : GuardAtomicLoad64(&localMac->Value);
    return ArpGuardAnalyze(ownMac, frame, length, direction);
}

GuardVerdict ArpGuardAnalyze(uint64_t ownMac, const uint8_t* frame, uint32_t length,
                             GuardDirection direction) {
    if (!GuardIsArpFrame(frame, length)) {
        return GUARD_PASS;
    }
    const ArpFields arp = ReadArpFields(frame);

    SendingProcess process;
    memset(&process, 0, sizeof(process));
    if (direction == GUARD_DIR_OUTBOUND) {
        process.Id = GuardGetProcessId();
        GuardGetProcessName(process.Name);
    }

    ScanTableTouch(&arp.SenderMac, &arp.SenderIp, &arp.TargetIp);
    if (ScanTableCheck(&arp.SenderMac)) {
        AddEvent(GUARD_EVENT_ARP_SCAN, arp.SenderMac, arp.SenderIp, process);
    }

    if (direction == GUARD_DIR_INBOUND) {
        return AnalyzeInbound(arp, process);
    }
    return AnalyzeOutbound(ownMac, arp, process);
}

uint64_t GuardLastSpooferMac() {
    return GuardAtomicLoad64(&g_LastSpooferMac);
}

void GuardSetLastSpooferForTest(uint64_t mac) {
    GuardAtomicStore64(&g_LastSpooferMac, mac);
}
