// The kernel's I/O objects as the simulated NDIS 5 host presents them: the driver object, device
// objects, and the request packet of a control device with its current stack location.
#pragma once

#include "ndis_types.h"

struct DRIVER_OBJECT {
    PVOID DriverExtension;
};
typedef DRIVER_OBJECT* PDRIVER_OBJECT;

struct DEVICE_OBJECT {
    PVOID DeviceExtension;
};
typedef DEVICE_OBJECT* PDEVICE_OBJECT;

#define IRP_MJ_CREATE 0x00u
#define IRP_MJ_CLOSE 0x02u
#define IRP_MJ_DEVICE_CONTROL 0x0Eu
#define IRP_MJ_CLEANUP 0x12u
#define IRP_MJ_MAXIMUM_FUNCTION 0x1Bu

#define IO_NO_INCREMENT ((char)0)

struct IO_STATUS_BLOCK {
    NTSTATUS Status;
    ULONG_PTR Information;
};

struct IO_STACK_LOCATION {
    UCHAR MajorFunction;
    union {
        struct {
            ULONG OutputBufferLength;
            ULONG InputBufferLength;
            ULONG IoControlCode;
        } DeviceIoControl;
    } Parameters;
};
typedef IO_STACK_LOCATION* PIO_STACK_LOCATION;

// One request to a device; buffered transfer only: one system buffer for input and output.
struct IRP {
    union {
        PVOID SystemBuffer;
    } AssociatedIrp;
    IO_STATUS_BLOCK IoStatus;
    IO_STACK_LOCATION CurrentStackLocation;
    ULONG CompletionCount; // the host's: how often the request was completed; must end as 1
};
typedef IRP* PIRP;

inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP irp) {
    return &irp->CurrentStackLocation;
}
// Hands the request back to its sender; the caller must not touch it afterwards.
VOID IoCompleteRequest(PIRP irp, char priorityBoost);

typedef NTSTATUS DRIVER_DISPATCH(PDEVICE_OBJECT deviceObject, PIRP irp);
typedef DRIVER_DISPATCH* PDRIVER_DISPATCH;
typedef VOID DRIVER_UNLOAD(PDRIVER_OBJECT driverObject);
typedef DRIVER_UNLOAD* PDRIVER_UNLOAD;
