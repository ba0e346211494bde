#include "driver/guard/guard_dispatch.h"

#include "common/zelk_records.h"
#include "driver/guard/guard_tables.h"

namespace {

uint32_t SetBindings(const GuardRequest& request) {
    const uint32_t length = request.InputBufferLength;
    if (length != 0 && length % ARP_BINDING_SIZE != 0) {
        return GUARD_STATUS_UNSUCCESSFUL;
    }
    return BindingTableReplace(request.SystemBuffer, length) ? GUARD_STATUS_SUCCESS
                                                             : GUARD_STATUS_UNSUCCESSFUL;
}

uint32_t ReadEvents(GuardRequest* request) {
    uint32_t handedOver = 0;
    if (!EventTableDrain(request->SystemBuffer, request->OutputBufferLength, &handedOver)) {
        return GUARD_STATUS_UNSUCCESSFUL;
    }
    request->Information = handedOver;
    return GUARD_STATUS_SUCCESS;
}

} // namespace

uint32_t GuardDeviceDispatch(void* /*device*/, GuardRequest* request) {
    uint32_t status = GUARD_STATUS_SUCCESS;
    request->Information = 0;
    if (request->MajorFunction == GUARD_IRP_MJ_DEVICE_CONTROL) {
        switch (request->IoControlCode) {
        case IOCTL_ZELKARP_SET_BINDINGS:
            status = SetBindings(*request);
            break;
        case IOCTL_ZELKARP_READ_EVENTS:
            status = ReadEvents(request);
            break;
        default:
            break;
        }
    }
    request->Status = status;
    GuardCompleteRequest(request);
    return status;
}
