/* A test build of the driver for a Windows kernel without NDIS (Wine): the shipped guard core and its
 * kernel seam behind the control device that the NDIS framework would register, plus one test-only
 * control code that hands a frame to the guard as a packet path would. Never shipped. */
#include <ntddk.h>

#include "driver/guard/arp_guard.h"
#include "driver/guard/guard_dispatch.h"
#include "driver/guard/guard_tables.h"
#include "platform/kernel/guard_test_control.h"

static PDEVICE_OBJECT g_ControlDevice;

static NTSTATUS InspectFrameForTest(PIRP irp, ULONG inputLength, ULONG outputLength) {
    const GuardTestFrame* request = (const GuardTestFrame*)irp->AssociatedIrp.SystemBuffer;
    if (request == NULL || inputLength < GUARD_TEST_FRAME_HEADER_SIZE || outputLength < sizeof(uint32_t) ||
        inputLength - GUARD_TEST_FRAME_HEADER_SIZE < request->Length) {
        return STATUS_UNSUCCESSFUL;
    }
    GuardLocalMac localMac;
    GuardPublishLocalMac(&localMac, request->AdapterMac);
    const GuardVerdict verdict =
        ArpGuardInspect(&localMac, request->Frame, request->Length, (GuardDirection)request->Direction);
    *(uint32_t*)irp->AssociatedIrp.SystemBuffer = (uint32_t)verdict;
    irp->IoStatus.Information = sizeof(uint32_t);
    return STATUS_SUCCESS;
}

static NTSTATUS ControlDeviceDispatch(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL &&
        stack->Parameters.DeviceIoControl.IoControlCode == IOCTL_ZELKARP_TEST_INSPECT) {
        irp->IoStatus.Information = 0;
        const NTSTATUS status = InspectFrameForTest(irp, stack->Parameters.DeviceIoControl.InputBufferLength,
                                                    stack->Parameters.DeviceIoControl.OutputBufferLength);
        irp->IoStatus.Status = status;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }

    GuardRequest request;
    RtlZeroMemory(&request, sizeof(request));
    request.MajorFunction = stack->MajorFunction;
    request.PlatformRequest = irp;
    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
        request.IoControlCode = stack->Parameters.DeviceIoControl.IoControlCode;
        request.SystemBuffer = irp->AssociatedIrp.SystemBuffer;
        request.InputBufferLength = stack->Parameters.DeviceIoControl.InputBufferLength;
        request.OutputBufferLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    }
    return (NTSTATUS)GuardDeviceDispatch(device, &request);
}

static VOID DriverUnload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    (void)driver;
    RtlInitUnicodeString(&link, ZELKARP_KERNEL_LINK_NAME);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(g_ControlDevice);
    g_ControlDevice = NULL;
    GuardTablesFree();
    DbgPrint("[Zelk] ARP Protector Driver: Unload.\n");
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING deviceName;
    UNICODE_STRING link;
    (void)registryPath;

    GuardInitialize();

    RtlInitUnicodeString(&deviceName, ZELKARP_KERNEL_DEVICE_NAME);
    NTSTATUS status = IoCreateDevice(driver, 0, &deviceName, ZELKARP_DEVICE_TYPE, 0, FALSE, &g_ControlDevice);
    if (!NT_SUCCESS(status)) {
        GuardTablesFree();
        return status;
    }
    RtlInitUnicodeString(&link, ZELKARP_KERNEL_LINK_NAME);
    status = IoCreateSymbolicLink(&link, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(g_ControlDevice);
        GuardTablesFree();
        return status;
    }
    g_ControlDevice->Flags |= DO_BUFFERED_IO;
    g_ControlDevice->Flags &= ~DO_DEVICE_INITIALIZING;

    driver->MajorFunction[IRP_MJ_CREATE] = ControlDeviceDispatch;
    driver->MajorFunction[IRP_MJ_CLOSE] = ControlDeviceDispatch;
    driver->MajorFunction[IRP_MJ_CLEANUP] = ControlDeviceDispatch;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = ControlDeviceDispatch;
    driver->DriverUnload = DriverUnload;

    DbgPrint("[Zelk] ARP Protector Driver: Loaded. Release Date: 2011-02-11.\n");
    return STATUS_SUCCESS;
}
