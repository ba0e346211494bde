/* A test build of the driver for a Windows kernel without NDIS (Wine): the shipped guard core and its
 * kernel seam behind the control device that the NDIS framework would register, plus one test-only
 * control code that hands a frame to the guard as a packet path would. Never shipped.
 *
 * Wine's process object is a small structure of its own that holds no image name, and reading the 12 KB
 * that the image-name search covers would run far past it. So this build presents the guard with a small
 * process block of its own: "System" at load, and for each injected frame the image name that the test
 * names as the sender. The search, the copy and the conversion of the name are the shipped code; the
 * process id is the kernel's. */
#include <ntddk.h>

#include "driver/guard/arp_guard.h"
#include "driver/guard/guard_dispatch.h"
#include "driver/guard/guard_tables.h"
#include "platform/kernel/guard_test_control.h"

static PDEVICE_OBJECT g_ControlDevice;

#define TEST_IMAGE_NAME_OFFSET 0x40
/* Requests are injected one at a time by the test, so one block serves. */
static unsigned char g_TestProcessObject[TEST_IMAGE_NAME_OFFSET + GUARD_TEST_IMAGE_NAME_SIZE];

static void SetTestImageName(const char* name, size_t length) {
    RtlZeroMemory(g_TestProcessObject, sizeof(g_TestProcessObject));
    RtlCopyMemory(g_TestProcessObject + TEST_IMAGE_NAME_OFFSET, name,
                  length < GUARD_TEST_IMAGE_NAME_SIZE ? length : GUARD_TEST_IMAGE_NAME_SIZE);
}

const void* GuardCurrentProcess(void) {
    return g_TestProcessObject;
}

uint64_t GuardProcessId(const void* process) {
    (void)process;
    return (uint64_t)(ULONG_PTR)PsGetProcessId(IoGetCurrentProcess());
}

size_t GuardProcessObjectSize(const void* process) {
    (void)process;
    return sizeof(g_TestProcessObject);
}

static NTSTATUS InspectFrameForTest(PIRP irp, ULONG inputLength, ULONG outputLength) {
    const GuardTestFrame* request = (const GuardTestFrame*)irp->AssociatedIrp.SystemBuffer;
    if (request == NULL || inputLength < GUARD_TEST_FRAME_HEADER_SIZE || outputLength < sizeof(uint32_t) ||
        inputLength - GUARD_TEST_FRAME_HEADER_SIZE < request->Length) {
        return STATUS_UNSUCCESSFUL;
    }
    GuardLocalMac localMac;
    GuardPublishLocalMac(&localMac, request->AdapterMac);
    SetTestImageName(request->ImageName, sizeof(request->ImageName));
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

    SetTestImageName("System", sizeof("System") - 1);
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
