// The control device \Device\ZELKARP exists exactly while at least one virtual miniport is initialized.
// ControlDeviceState lets one registration or deregistration run at a time, outside GlobalLock.
#include "driver/framework/driver.h"
#include "driver/guard/guard_dispatch.h"

VOID RegisterControlDevice() {
    NdisAcquireSpinLock(&g_Driver.GlobalLock);
    ++g_Driver.MiniportCount;
    if (g_Driver.MiniportCount != 1) {
        NdisReleaseSpinLock(&g_Driver.GlobalLock);
        return;
    }
    // A deregistration still running must finish before the device can be created again.
    while (g_Driver.ControlDeviceState != ControlDeviceReady) {
        NdisReleaseSpinLock(&g_Driver.GlobalLock);
        NdisMSleep(1);
        NdisAcquireSpinLock(&g_Driver.GlobalLock);
    }
    g_Driver.ControlDeviceState = ControlDeviceCreating;
    NdisReleaseSpinLock(&g_Driver.GlobalLock);

    PDRIVER_DISPATCH dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1];
    NdisZeroMemory(dispatch, sizeof(dispatch));
    dispatch[IRP_MJ_CREATE] = ControlDeviceDispatch;
    dispatch[IRP_MJ_CLOSE] = ControlDeviceDispatch;
    dispatch[IRP_MJ_CLEANUP] = ControlDeviceDispatch;
    dispatch[IRP_MJ_DEVICE_CONTROL] = ControlDeviceDispatch;

    NDIS_STRING deviceName;
    NDIS_STRING linkName;
    NdisInitUnicodeString(&deviceName, ZELK_WIDE("\\Device\\ZELKARP"));
    NdisInitUnicodeString(&linkName, ZELK_WIDE("\\DosDevices\\ZELKARP"));
    // On failure the handle stays null: the driver runs without a control device until the count next
    // rises from 0 to 1.
    NdisMRegisterDevice(g_Driver.WrapperHandle, &deviceName, &linkName, dispatch,
                        &g_Driver.ControlDeviceObject, &g_Driver.ControlDeviceHandle);

    NdisAcquireSpinLock(&g_Driver.GlobalLock);
    g_Driver.ControlDeviceState = ControlDeviceReady;
    NdisReleaseSpinLock(&g_Driver.GlobalLock);
}

VOID DeregisterControlDevice() {
    NdisAcquireSpinLock(&g_Driver.GlobalLock);
    --g_Driver.MiniportCount;
    if (g_Driver.MiniportCount != 0) {
        NdisReleaseSpinLock(&g_Driver.GlobalLock);
        return;
    }
    g_Driver.ControlDeviceState = ControlDeviceDeleting;
    NdisReleaseSpinLock(&g_Driver.GlobalLock);

    if (g_Driver.ControlDeviceHandle != nullptr) {
        NdisMDeregisterDevice(g_Driver.ControlDeviceHandle);
        g_Driver.ControlDeviceHandle = nullptr;
    }

    NdisAcquireSpinLock(&g_Driver.GlobalLock);
    g_Driver.ControlDeviceState = ControlDeviceReady;
    NdisReleaseSpinLock(&g_Driver.GlobalLock);
}

// The guard serves the request from a plain record; the request packet is completed here, once, with
// the guard's status and byte count.
NTSTATUS ControlDeviceDispatch(PDEVICE_OBJECT deviceObject, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    GuardRequest request;
    NdisZeroMemory(&request, sizeof(request));
    request.MajorFunction = stack->MajorFunction;
    request.SystemBuffer = irp->AssociatedIrp.SystemBuffer;
    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
        request.IoControlCode = stack->Parameters.DeviceIoControl.IoControlCode;
        request.InputBufferLength = stack->Parameters.DeviceIoControl.InputBufferLength;
        request.OutputBufferLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    }
    const NTSTATUS status = static_cast<NTSTATUS>(GuardDeviceDispatch(deviceObject, &request));
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = static_cast<ULONG_PTR>(request.Information);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}
