#include "service/poller/scan_filter.h"

#include "service/poller/process_name.h"

namespace {

bool IgnoredAsGatewayOrUnset(const GuardEvent& record, const std::vector<ArpBinding>& bindings) {
    // With no bindings the service knows no gateway, and nothing is ignored on these grounds.
    if (bindings.empty()) {
        return false;
    }
    if (IsUnsetOrBroadcast(record.Ip)) {
        return true;
    }
    const uint32_t ip = Ipv4ToValue(&record.Ip);
    for (const ArpBinding& binding : bindings) {
        if (Ipv4ToValue(&binding.Ip) == ip) {
            return true;
        }
    }
    return false;
}

} // namespace

bool IsUnsetOrBroadcast(const Ipv4Address& ip) {
    const uint32_t value = Ipv4ToValue(&ip);
    return value == 0 || value == 0xFFFFFFFFu;
}

EventLineVariant FilterScan(const GuardEvent& record, const uint16_t* name,
                            const std::vector<ArpBinding>& bindings, ScanMemory* memory) {
    if (IgnoredAsGatewayOrUnset(record, bindings)) {
        return EVENT_LINE_NONE;
    }
    if (!ProcessNameIsEmpty(name)) {
        if (ProcessNameIs(name, "System") || ProcessNameIs(name, "ZelkSrv.exe") || record.ProcessId == 0 ||
            ProcessNamesEqualIgnoringCase(name, memory->LastScanProgram)) {
            return EVENT_LINE_NONE;
        }
        CopyProcessName(memory->LastScanProgram, name);
        return EVENT_LINE_PROGRAM_SCAN;
    }
    const uint32_t ip = Ipv4ToValue(&record.Ip);
    if (ip == memory->LastScanIp) {
        return EVENT_LINE_NONE;
    }
    memory->LastScanIp = ip;
    return EVENT_LINE_NETWORK_SCAN;
}
