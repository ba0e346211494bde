// The simulated host's control devices: registration by the driver, and user-mode callers that open
// the device by its link name ("\\.\NAME" is "\DosDevices\NAME"), send buffered control requests and
// close it. Requests reach the driver only while the device is registered; a deregistration waits for
// requests already inside the driver.
#include <shared_mutex>

#include "ndis_host_internal.h"

struct NdisHostDeviceHandle {
    uint64_t Generation; // the registration the handle was opened on
};

namespace ndis_host {
namespace {

std::shared_mutex g_DeviceUse; // shared while a request is inside the driver

std::string LinkOf(const std::string& userPath) {
    const std::string prefix = "\\\\.\\";
    if (userPath.compare(0, prefix.size(), prefix) != 0) {
        return std::string();
    }
    return "\\DosDevices\\" + userPath.substr(prefix.size());
}

// Sends one request to the device registered as `generation`; false when it is gone. Called with
// g_DeviceUse held shared.
bool Send(uint64_t generation, IRP* irp) {
    PDRIVER_DISPATCH dispatch = nullptr;
    PDEVICE_OBJECT object = nullptr;
    {
        Host& host = TheHost();
        std::lock_guard<std::mutex> guard(host.Mutex);
        if (!host.Device || host.DeviceGeneration != generation) {
            return false;
        }
        dispatch = host.Device->Dispatch[irp->CurrentStackLocation.MajorFunction];
        object = &host.Device->Object;
    }
    if (dispatch == nullptr) {
        irp->IoStatus.Status = static_cast<NTSTATUS>(0xC0000010); // invalid device request
        return true;
    }
    const NTSTATUS returned = dispatch(object, irp);
    if (irp->CompletionCount != 1 || returned != irp->IoStatus.Status) {
        Violation("a control request was not completed exactly once with the status returned");
    }
    return true;
}

IRP RequestOf(UCHAR majorFunction) {
    IRP irp{};
    irp.CurrentStackLocation.MajorFunction = majorFunction;
    return irp;
}

} // namespace
} // namespace ndis_host

using namespace ndis_host;

NDIS_STATUS NdisMRegisterDevice(NDIS_HANDLE /*ndisWrapperHandle*/, PNDIS_STRING deviceName,
                                PNDIS_STRING symbolicName, PDRIVER_DISPATCH majorFunctions[],
                                PDEVICE_OBJECT* deviceObject, NDIS_HANDLE* ndisDeviceHandle) {
    EnterNdisCall("NdisMRegisterDevice", true);
    const NDIS_STATUS chosen = TakeChosenOutcome(NdisHostCallRegisterDevice);
    if (chosen != NDIS_STATUS_SUCCESS) {
        return chosen;
    }
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (host.Device) {
        host.Violations.push_back("NdisMRegisterDevice while the control device is registered");
        return NDIS_STATUS_FAILURE; // the name is taken
    }
    host.Device = std::make_unique<ControlDevice>();
    host.Device->DeviceName = Narrow(deviceName);
    host.Device->LinkName = Narrow(symbolicName);
    for (UINT i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) {
        host.Device->Dispatch[i] = majorFunctions[i];
    }
    ++host.DeviceGeneration;
    ++host.DeviceRegistrations;
    *deviceObject = &host.Device->Object;
    *ndisDeviceHandle = host.Device.get();
    return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS NdisMDeregisterDevice(NDIS_HANDLE ndisDeviceHandle) {
    EnterNdisCall("NdisMDeregisterDevice", true);
    const NDIS_STATUS chosen = TakeChosenOutcome(NdisHostCallDeregisterDevice);
    if (chosen != NDIS_STATUS_SUCCESS) {
        return chosen;
    }
    std::unique_lock<std::shared_mutex> noRequestInside(g_DeviceUse);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    if (!host.Device || host.Device.get() != ndisDeviceHandle) {
        host.Violations.push_back("NdisMDeregisterDevice on a device that is not registered");
        return NDIS_STATUS_FAILURE;
    }
    host.Device.reset();
    ++host.DeviceGeneration;
    return NDIS_STATUS_SUCCESS;
}

VOID IoCompleteRequest(PIRP irp, char /*priorityBoost*/) {
    ++irp->CompletionCount;
}

uint32_t NdisHostDeviceRegistrationsForTest() {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return host.DeviceRegistrations;
}

bool NdisHostDeviceExistsForTest(const std::string& userPath) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return host.Device && host.Device->LinkName == LinkOf(userPath);
}

NdisHostDeviceHandle* NdisHostOpenDevice(const std::string& userPath) {
    std::shared_lock<std::shared_mutex> inside(g_DeviceUse);
    uint64_t generation = 0;
    {
        Host& host = TheHost();
        std::lock_guard<std::mutex> guard(host.Mutex);
        if (!host.Device || host.Device->LinkName != LinkOf(userPath)) {
            return nullptr;
        }
        generation = host.DeviceGeneration;
    }
    IRP create = RequestOf(IRP_MJ_CREATE);
    if (!Send(generation, &create) || create.IoStatus.Status != STATUS_SUCCESS) {
        return nullptr;
    }
    return new NdisHostDeviceHandle{generation};
}

bool NdisHostDeviceIoControl(NdisHostDeviceHandle* handle, ULONG code, const void* input, ULONG inputLength,
                             void* output, ULONG outputLength, ULONG* bytesReturned) {
    *bytesReturned = 0;
    // Buffered transfer: one system buffer large enough for either direction.
    std::vector<UCHAR> systemBuffer(inputLength > outputLength ? inputLength : outputLength);
    if (inputLength != 0) {
        memcpy(systemBuffer.data(), input, inputLength);
    }
    IRP irp = RequestOf(IRP_MJ_DEVICE_CONTROL);
    irp.AssociatedIrp.SystemBuffer = systemBuffer.empty() ? nullptr : systemBuffer.data();
    irp.CurrentStackLocation.Parameters.DeviceIoControl.IoControlCode = code;
    irp.CurrentStackLocation.Parameters.DeviceIoControl.InputBufferLength = inputLength;
    irp.CurrentStackLocation.Parameters.DeviceIoControl.OutputBufferLength = outputLength;
    std::shared_lock<std::shared_mutex> inside(g_DeviceUse);
    if (!Send(handle->Generation, &irp) || irp.IoStatus.Status != STATUS_SUCCESS) {
        return false;
    }
    const ULONG returned = static_cast<ULONG>(irp.IoStatus.Information);
    if (returned > outputLength) {
        Violation("a control request returned more bytes than the caller's buffer holds");
        return false;
    }
    if (returned != 0) {
        memcpy(output, systemBuffer.data(), returned);
    }
    *bytesReturned = returned;
    return true;
}

void NdisHostCloseDevice(NdisHostDeviceHandle* handle) {
    {
        std::shared_lock<std::shared_mutex> inside(g_DeviceUse);
        IRP cleanup = RequestOf(IRP_MJ_CLEANUP);
        IRP close = RequestOf(IRP_MJ_CLOSE);
        if (Send(handle->Generation, &cleanup)) {
            Send(handle->Generation, &close);
        }
    }
    delete handle;
}
