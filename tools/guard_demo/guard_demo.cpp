// A short exchange on a small LAN, run through the guard: each frame's verdict, then the findings
// drained through the control device as the service would read them.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/guard/arp_guard.h"
#include "driver/guard/guard_dispatch.h"
#include "driver/guard/guard_tables.h"
#include "platform/kernel/guard_host_control.h"
#include "tools/frames/arp_frame.h"

using namespace zelk;

namespace {

const uint64_t kTicksPerSecond = 10000000;
// 2011-03-25 20:35:37 UTC in 100 ns units since 1601.
const uint64_t kStartTime = 129454737370000000ull;

struct Step {
    const char* What;
    GuardDirection Direction;
    ArpFrameFields Fields;
    bool FromLocalTool;
};

const char* KindName(uint8_t kind) {
    switch (kind) {
    case GUARD_EVENT_LOCAL_SPOOF:
        return "local spoofing";
    case GUARD_EVENT_INBOUND_SPOOF:
        return "inbound spoofing";
    case GUARD_EVENT_ARP_SCAN:
        return "ARP scan";
    default:
        return "unknown";
    }
}

std::string NarrowName(const GuardEvent& event) {
    std::string name;
    uint16_t units[GUARD_PROCESS_NAME_UNITS]; // the record's field is unaligned
    std::memcpy(units, event.ProcessName, sizeof(units));
    for (uint16_t unit : units) {
        if (unit == 0) {
            break;
        }
        name.push_back(static_cast<char>(unit));
    }
    return name;
}

uint32_t Control(uint32_t code, void* buffer, uint32_t inLength, uint32_t outLength, uint64_t* returned) {
    GuardRequest request{};
    request.MajorFunction = GUARD_IRP_MJ_DEVICE_CONTROL;
    request.IoControlCode = code;
    request.SystemBuffer = buffer;
    request.InputBufferLength = inLength;
    request.OutputBufferLength = outLength;
    const uint32_t status = GuardDeviceDispatch(nullptr, &request);
    *returned = request.Information;
    return status;
}

} // namespace

int main() {
    const MacAddress gatewayMac = Mac("00-50-56-C0-00-01");
    const Ipv4Address gatewayIp = Ip("192.168.1.1");
    const MacAddress hostMac = Mac("00-0C-29-4F-8E-35");
    const Ipv4Address hostIp = Ip("192.168.1.100");
    const MacAddress attackerMac = Mac("00-1A-2B-3C-4D-5E");
    const Ipv4Address attackerIp = Ip("192.168.1.10");

    GuardHostSetTimeForTest(kStartTime);
    GuardInitialize();
    GuardLocalMac localMac{};
    GuardPublishLocalMac(&localMac, hostMac.Bytes);

    ArpBinding trusted{gatewayIp, gatewayMac};
    uint64_t returned = 0;
    Control(IOCTL_ZELKARP_SET_BINDINGS, &trusted, sizeof(trusted), 0, &returned);
    std::printf("trusted binding: %s is at %s\n\n", FormatIpv4(gatewayIp).c_str(),
                FormatMac(gatewayMac).c_str());

    GuardHostProcess tool;
    GuardHostMakeProcess(&tool, 4242, "arpspoof.exe", 12);

    const std::vector<Step> steps = {
        {"host asks for the gateway",
         GUARD_DIR_OUTBOUND,
         {ArpOperation::Request, Mac("FF-FF-FF-FF-FF-FF"), {}, hostMac, hostIp, {}, gatewayIp},
         false},
        {"gateway answers",
         GUARD_DIR_INBOUND,
         {ArpOperation::Reply, hostMac, {}, gatewayMac, gatewayIp, hostMac, hostIp},
         false},
        {"attacker claims the gateway's address",
         GUARD_DIR_INBOUND,
         {ArpOperation::Reply, hostMac, {}, attackerMac, gatewayIp, hostMac, hostIp},
         false},
        {"attacker claims it again",
         GUARD_DIR_INBOUND,
         {ArpOperation::Reply, hostMac, {}, attackerMac, gatewayIp, hostMac, hostIp},
         false},
        {"caught attacker announces its own address",
         GUARD_DIR_INBOUND,
         {ArpOperation::Reply, hostMac, {}, attackerMac, attackerIp, hostMac, hostIp},
         false},
        {"local tool forges a reply as another host",
         GUARD_DIR_OUTBOUND,
         {ArpOperation::Reply, gatewayMac, hostMac, attackerMac, hostIp, gatewayMac, gatewayIp},
         true},
        {"local tool claims the gateway from the host",
         GUARD_DIR_OUTBOUND,
         {ArpOperation::Reply, attackerMac, {}, hostMac, gatewayIp, attackerMac, attackerIp},
         true},
    };

    for (const Step& step : steps) {
        const Frame frame = BuildArpFrame(step.Fields);
        if (step.FromLocalTool) {
            GuardHostSetCurrentProcessForTest(&tool);
        } else {
            GuardHostResetCurrentProcessForTest();
        }
        const GuardVerdict verdict = ArpGuardInspect(&localMac, frame.data(), frame.size(), step.Direction);
        std::printf("%-8s %-46s %s\n", step.Direction == GUARD_DIR_INBOUND ? "inbound" : "outbound",
                    step.What, verdict == GUARD_DROP ? "DROP" : "pass");
        GuardHostAdvanceTimeForTest(kTicksPerSecond / 4);
    }

    std::vector<GuardEvent> events(GUARD_MAX_EVENTS);
    const uint32_t status = Control(IOCTL_ZELKARP_READ_EVENTS, events.data(), GUARD_READ_BUFFER_SIZE,
                                    GUARD_READ_BUFFER_SIZE, &returned);
    std::printf("\nfindings drained through the control device (status 0x%08X, %llu bytes):\n", status,
                static_cast<unsigned long long>(returned));
    for (uint64_t i = 0; i < returned / GUARD_EVENT_SIZE; ++i) {
        const GuardEvent& event = events[i];
        std::printf("  kind %u %-17s MAC=%s IP=%-15s PID=%llu %s\n", event.Kind, KindName(event.Kind),
                    FormatMac(event.Mac).c_str(), FormatIpv4(event.Ip).c_str(),
                    static_cast<unsigned long long>(event.ProcessId), NarrowName(event).c_str());
    }
    GuardTablesFree();
    return 0;
}
