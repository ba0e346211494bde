#include "service/poller/event_poller.h"

#include <string.h>

#include <memory>
#include <new>
#include <vector>

#include "common/zelkprot_device.h"
#include "platform/windir/windows_directory.h"
#include "service/discovery/adapter_discovery.h"
#include "service/files/event_files.h"
#include "service/files/event_line.h"
#include "service/poller/correction_loop.h"
#include "service/poller/process_name.h"
#include "service/poller/scan_filter.h"

namespace {

const uint32_t kBindingPushEveryCycles = 5;
const uint32_t kCycleMilliseconds = 1000;

// What the poller thread alone owns.
struct PollerState {
    std::vector<ArpBinding> Bindings; // pushed to the driver; the gateways whose scans are ignored
    wchar_t WindowsDirectory[WINDOWS_PATH_UNITS];
    ScanMemory Scans;
};

// Whether it started (or was running already) is not examined: the poller works without it.
void StartProtocolService(ServicePlatform& platform) {
    const PlatformHandle manager = platform.OpenServiceManager();
    if (manager == 0) {
        return;
    }
    const PlatformHandle service = platform.OpenServiceRegistration(manager, ZELKPROT_SERVICE_NAME);
    if (service != 0) {
        platform.StartServiceRegistration(service);
        platform.CloseServiceManagerHandle(service);
    }
    platform.CloseServiceManagerHandle(manager);
}

// An empty list is never sent: the driver keeps the bindings it had.
void PushBindings(ServicePlatform& platform, PollerState* poller) {
    poller->Bindings.clear();
    BuildBindingList(platform, &poller->Bindings);
    if (poller->Bindings.empty()) {
        return;
    }
    const PlatformHandle device = platform.OpenDevice(ZELKARP_USER_DEVICE_PATH, DEVICE_ACCESS_CONTROL_ONLY);
    if (device == 0) {
        return;
    }
    uint32_t returned = 0;
    platform.ControlDevice(device, IOCTL_ZELKARP_SET_BINDINGS, poller->Bindings.data(),
                           static_cast<uint32_t>(poller->Bindings.size() * ARP_BINDING_SIZE), nullptr, 0,
                           &returned);
    platform.CloseDevice(device);
}

// One drained record: its line (if any), the suppression state, the correction loop on inbound spoofing,
// and the event recorded.
void HandleGuardRecord(ServiceState* state, PollerState* poller, const uint8_t* bytes) {
    GuardEvent record;
    memcpy(&record, bytes, sizeof(record));
    // The stored name is at most 31 units and always terminated.
    record.ProcessName[GUARD_PROCESS_NAME_UNITS - 1] = 0;
    uint16_t name[GUARD_PROCESS_NAME_UNITS];
    ReadProcessName(record, name);
    const int64_t now = state->Platform->CurrentTimeSeconds();

    EventLineVariant variant = EVENT_LINE_NONE;
    switch (record.Kind) {
    case GUARD_EVENT_INBOUND_SPOOF:
        state->LastAttackTime.store(static_cast<uint32_t>(now));
        RequestCorrectionLoop(state);
        if (NoteInboundSource(&state->Table, record.Ip, now)) {
            variant = EVENT_LINE_INBOUND_SPOOF;
        }
        break;
    case GUARD_EVENT_LOCAL_SPOOF:
        if (!ProcessNameIsEmpty(name) && !IsUnsetOrBroadcast(record.Ip) &&
            NoteLocalProgram(&state->Table, name, record.Ip, now)) {
            variant = EVENT_LINE_LOCAL_SPOOF;
        }
        break;
    case GUARD_EVENT_ARP_SCAN:
        variant = FilterScan(record, name, poller->Bindings, &poller->Scans);
        break;
    default:
        break;
    }
    if (variant == EVENT_LINE_NONE) {
        return;
    }
    char line[EVENT_LINE_BUFFER_SIZE];
    if (FormatEventLine(variant, EventTimeToLocal(record.Time), record, line, sizeof(line)) > 0) {
        RecordEvent(poller->WindowsDirectory, line, record);
    }
}

// A batch is handled only when it is a whole, non-empty number of records; anything else is dropped whole.
void DrainEvents(ServiceState* state, PollerState* poller) {
    ServicePlatform& platform = *state->Platform;
    const PlatformHandle device = platform.OpenDevice(ZELKARP_USER_DEVICE_PATH, DEVICE_ACCESS_CONTROL_ONLY);
    if (device == 0) {
        return;
    }
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[GUARD_READ_BUFFER_SIZE]());
    if (buffer != nullptr) {
        uint32_t returned = 0;
        if (platform.ControlDevice(device, IOCTL_ZELKARP_READ_EVENTS, nullptr, 0, buffer.get(),
                                   GUARD_READ_BUFFER_SIZE, &returned) &&
            returned != 0 && returned % GUARD_EVENT_SIZE == 0 && returned <= GUARD_READ_BUFFER_SIZE) {
            for (uint32_t offset = 0; offset < returned; offset += GUARD_EVENT_SIZE) {
                HandleGuardRecord(state, poller, buffer.get() + offset);
            }
        }
    }
    platform.CloseDevice(device);
}

} // namespace

void RunEventPoller(ServiceState* state) {
    ServicePlatform& platform = *state->Platform;
    std::unique_ptr<PollerState> poller(new PollerState{});
    FindWindowsDirectory(poller->WindowsDirectory);
    StartProtocolService(platform);
    for (uint32_t cycle = 0;; ++cycle) {
        if (cycle % kBindingPushEveryCycles == 0) {
            cycle = 0;
            PushBindings(platform, poller.get());
        }
        DrainEvents(state, poller.get());
        if (!platform.SleepMilliseconds(kCycleMilliseconds)) {
            return;
        }
    }
}
