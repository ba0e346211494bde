// The simulated host's network side: adapters and ARP, the guard's control device served by the guard
// core in-process, and the companion protocol driver's device that puts writes on an adapter's wire.
#include <arpa/inet.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "common/zelkprot_device.h"
#include "driver/guard/guard_dispatch.h"
#include "platform/kernel/guard_host_control.h"
#include "platform/service/pcap_writer.h"
#include "platform/service/simulated_host.h"

namespace {

const char kAdapterDevicePrefix[] = "\\DEVICE\\";

template <size_t N> void CopyText(char (&target)[N], const std::string& text) {
    const size_t length = std::min(text.size(), N - 1);
    memcpy(target, text.data(), length);
    target[length] = '\0';
}

} // namespace

void SimulatedHost::AddAdapter(const SimulatedAdapter& adapter) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::unique_ptr<Adapter> added(new Adapter{adapter, GuardLocalMac{}});
    GuardPublishLocalMac(&added->LocalMac, adapter.Mac.Bytes);
    m_adapters.push_back(std::move(added));
}

void SimulatedHost::SetArpAnswer(const Ipv4Address& ip, const MacAddress& mac, uint32_t length) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_arpAnswers[Ipv4ToValue(&ip)] = ArpAnswer{mac, length};
}

void SimulatedHost::SetGuardDevicePresent(bool present) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_guardPresent = present;
}

void SimulatedHost::SetGuardDeviceRoute(GuardDeviceRoute* route) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_guardRoute = route;
}

void SimulatedHost::QueueGuardReadAnswerForTest(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_queuedReads.push_back(bytes);
}

GuardVerdict SimulatedHost::FeedFrame(const std::string& adapter, const uint8_t* frame, uint32_t length,
                                      GuardDirection direction, uint64_t processId,
                                      const std::string& processName) {
    const GuardLocalMac* localMac = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (const std::unique_ptr<Adapter>& candidate : m_adapters) {
            if (candidate->Config.Name == adapter) {
                localMac = &candidate->LocalMac;
            }
        }
    }
    GuardHostProcess process;
    if (direction == GUARD_DIR_OUTBOUND && !processName.empty()) {
        GuardHostMakeProcess(&process, processId, processName.c_str(), processName.size() + 1);
        GuardHostSetCurrentProcessForTest(&process);
    }
    const GuardVerdict verdict = ArpGuardInspect(localMac, frame, length, direction);
    GuardHostResetCurrentProcessForTest();
    return verdict;
}

std::vector<WireFrame> SimulatedHost::WireFrames() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_wire;
}

std::vector<GuardDeviceRequest> SimulatedHost::GuardRequests() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_guardRequests;
}

std::vector<std::string> SimulatedHost::AttachedDeviceNames() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_attachedNames;
}

bool SimulatedHost::WriteWirePcap(const std::string& path) {
    std::vector<PcapRecord> records;
    for (const WireFrame& frame : WireFrames()) {
        records.push_back(PcapRecord{frame.TimeMilliseconds, frame.Bytes});
    }
    return WritePcapFile(path, records);
}

bool SimulatedHost::ReadAdapterList(std::vector<AdapterInfo>* adapters) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_failures.AdapterList) {
        return false;
    }
    adapters->clear();
    for (const std::unique_ptr<Adapter>& adapter : m_adapters) {
        AdapterInfo info{};
        CopyText(info.Name, adapter->Config.Name);
        memcpy(info.Address, adapter->Config.Mac.Bytes, sizeof(adapter->Config.Mac.Bytes));
        info.AddressLength = sizeof(adapter->Config.Mac.Bytes);
        CopyText(info.IpText, adapter->Config.IpText);
        CopyText(info.GatewayText, adapter->Config.GatewayText);
        adapters->push_back(info);
    }
    return true;
}

uint32_t SimulatedHost::ParseDottedAddress(const char* text) {
    return inet_addr(text);
}

bool SimulatedHost::ResolveArp(uint32_t destination, uint32_t /*source*/, uint8_t mac[8], uint32_t* length) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_arpAnswers.find(destination);
    if (found == m_arpAnswers.end()) {
        return false;
    }
    memset(mac, 0, 8);
    memcpy(mac, found->second.Mac.Bytes, sizeof(found->second.Mac.Bytes));
    *length = found->second.Length;
    return true;
}

PlatformHandle SimulatedHost::OpenDevice(const char* path, DeviceAccess access) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (strcasecmp(path, ZELKARP_USER_DEVICE_PATH) == 0) {
        if (!m_guardPresent) {
            return 0;
        }
        if (m_guardRoute != nullptr) {
            void* routed = m_guardRoute->Open();
            return routed == nullptr ? 0
                                     : NewHandleLocked(HandleObject{HANDLE_GUARD_DEVICE, L"", "", routed});
        }
        GuardRequest create{};
        create.MajorFunction = GUARD_IRP_MJ_CREATE;
        GuardDeviceDispatch(nullptr, &create);
        return NewHandleLocked(HandleObject{HANDLE_GUARD_DEVICE, L"", ""});
    }
    if (strcasecmp(path, ZELKPROT_USER_DEVICE_PATH) == 0) {
        // The device exists while the protocol driver's service runs.
        const auto service = m_services.find(L"zelkprot");
        if (service == m_services.end() || !service->second.Running || access != DEVICE_ACCESS_READ_WRITE) {
            return 0;
        }
        return NewHandleLocked(HandleObject{HANDLE_PROTOCOL_DEVICE, L"", ""});
    }
    return 0;
}

bool SimulatedHost::ControlDevice(PlatformHandle device, uint32_t code, const void* input,
                                  uint32_t inputLength, void* output, uint32_t outputLength,
                                  uint32_t* returned) {
    *returned = 0;
    std::lock_guard<std::mutex> hold(m_lock);
    const HandleObject* guard = FindHandleLocked(device, HANDLE_GUARD_DEVICE);
    if (guard != nullptr) {
        const bool succeeded =
            guard->Routed != nullptr
                ? m_guardRoute->Control(guard->Routed, code, input, inputLength, output, outputLength,
                                        returned)
                : ServeGuardRequest(code, input, inputLength, output, outputLength, returned);
        m_guardRequests.push_back(GuardDeviceRequest{m_scheduler.NowMilliseconds(), code, inputLength,
                                                     outputLength, succeeded, *returned});
        return succeeded;
    }
    HandleObject* protocol = FindHandleLocked(device, HANDLE_PROTOCOL_DEVICE);
    return protocol != nullptr && ServeProtocolRequest(protocol, code, input, inputLength);
}

// Buffered transfer: one system buffer carries the input in and the output out, as the kernel would.
bool SimulatedHost::ServeGuardRequest(uint32_t code, const void* input, uint32_t inputLength, void* output,
                                      uint32_t outputLength, uint32_t* returned) {
    if (code == IOCTL_ZELKARP_READ_EVENTS && !m_queuedReads.empty()) {
        const std::vector<uint8_t> answer = m_queuedReads.front();
        m_queuedReads.erase(m_queuedReads.begin());
        const uint32_t length = std::min(static_cast<uint32_t>(answer.size()), outputLength);
        if (length > 0) {
            memcpy(output, answer.data(), length);
        }
        *returned = length;
        return true;
    }
    // Left uninitialised, as the kernel leaves it: the drain's buffer is large and comes every second.
    const uint32_t systemLength = std::max(inputLength, outputLength);
    std::unique_ptr<uint8_t[]> systemBuffer(systemLength == 0 ? nullptr : new uint8_t[systemLength]);
    if (inputLength > 0) {
        memcpy(systemBuffer.get(), input, inputLength);
    }
    GuardRequest request{};
    request.MajorFunction = GUARD_IRP_MJ_DEVICE_CONTROL;
    request.IoControlCode = code;
    request.SystemBuffer = systemBuffer.get();
    request.InputBufferLength = inputLength;
    request.OutputBufferLength = outputLength;
    if (GuardDeviceDispatch(nullptr, &request) != GUARD_STATUS_SUCCESS) {
        return false;
    }
    *returned = static_cast<uint32_t>(std::min<uint64_t>(request.Information, outputLength));
    if (*returned > 0) {
        memcpy(output, systemBuffer.get(), *returned);
    }
    return true;
}

bool SimulatedHost::ServeProtocolRequest(HandleObject* object, uint32_t code, const void* input,
                                         uint32_t inputLength) {
    if (code == IOCTL_ZELKPROT_READY) {
        return !m_failures.ProtocolReady;
    }
    if (code != IOCTL_ZELKPROT_OPEN_ADAPTER || input == nullptr || inputLength % 2 != 0) {
        return false;
    }
    // The name arrives as UTF-16LE units; only ASCII names can name an adapter.
    std::string name;
    const uint8_t* bytes = static_cast<const uint8_t*>(input);
    for (uint32_t i = 0; i < inputLength; i += 2) {
        const uint16_t unit = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
        name.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    m_attachedNames.push_back(name);
    const size_t prefixLength = sizeof(kAdapterDevicePrefix) - 1;
    if (name.compare(0, prefixLength, kAdapterDevicePrefix) != 0) {
        return false;
    }
    for (const std::unique_ptr<Adapter>& adapter : m_adapters) {
        if (adapter->Config.Name == name.substr(prefixLength)) {
            object->Attached = adapter->Config.Name;
            return true;
        }
    }
    return false;
}

bool SimulatedHost::WriteDevice(PlatformHandle device, const void* bytes, uint32_t length,
                                uint32_t* written) {
    *written = 0;
    std::lock_guard<std::mutex> hold(m_lock);
    HandleObject* object = FindHandleLocked(device, HANDLE_PROTOCOL_DEVICE);
    if (object == nullptr || object->Attached.empty()) {
        return false;
    }
    const uint8_t* frame = static_cast<const uint8_t*>(bytes);
    m_wire.push_back(WireFrame{m_scheduler.NowMilliseconds(), object->Attached,
                               std::vector<uint8_t>(frame, frame + length)});
    *written = length;
    return true;
}

void SimulatedHost::CloseDevice(PlatformHandle device) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_handles.find(device);
    if (found == m_handles.end()) {
        return;
    }
    if (found->second.Kind == HANDLE_GUARD_DEVICE && found->second.Routed != nullptr) {
        m_guardRoute->Close(found->second.Routed);
    } else if (found->second.Kind == HANDLE_GUARD_DEVICE) {
        GuardRequest cleanup{};
        cleanup.MajorFunction = GUARD_IRP_MJ_CLEANUP;
        GuardDeviceDispatch(nullptr, &cleanup);
        GuardRequest close{};
        close.MajorFunction = GUARD_IRP_MJ_CLOSE;
        GuardDeviceDispatch(nullptr, &close);
    }
    if (found->second.Kind == HANDLE_GUARD_DEVICE || found->second.Kind == HANDLE_PROTOCOL_DEVICE) {
        m_handles.erase(found);
    }
}
