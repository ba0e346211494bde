// The driver-wide state, load and unload, and the control device's registration and lifetime.
#pragma once

#include <zelk_ndis.h>

#include "driver/framework/adapter.h"

enum ControlDeviceStates : LONG {
    ControlDeviceReady = 0,
    ControlDeviceCreating = 1,
    ControlDeviceDeleting = 2,
};

// One instance, zero at load apart from the media offered when opening a lower adapter.
struct DriverState {
    NDIS_HANDLE WrapperHandle;
    NDIS_HANDLE DriverHandle;   // the layered miniport driver
    NDIS_HANDLE ProtocolHandle; // null once deregistered
    NDIS_SPIN_LOCK GlobalLock;  // guards AdapterList, MiniportCount, ControlDeviceState
    Adapter* AdapterList;       // every record whose virtual miniport is initialized, newest first
    LONG MiniportCount;         // initialized virtual miniports
    LONG ControlDeviceState;    // ControlDeviceStates
    NDIS_HANDLE ControlDeviceHandle;
    PDEVICE_OBJECT ControlDeviceObject;
    ULONG NdisSysVersion; // NDIS.SYS major << 16 | minor; 0 until the first bind reads it
    NDIS_MEDIUM MediumArray[4] = {NdisMedium802_3, NdisMedium802_5, NdisMediumFddi, NdisMediumWan};
};

extern DriverState g_Driver;

// The version of NDIS.SYS from which MAC options are passed up without NO_LOOPBACK.
#define NDIS_SYS_VERSION_5_1 0x00050001u

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);
VOID DriverUnload(PDRIVER_OBJECT driverObject);

// Called by a virtual miniport's initialize handler on success: the first one registers \Device\ZELKARP.
VOID RegisterControlDevice();
// Called by a virtual miniport's halt handler: the last one removes the control device.
VOID DeregisterControlDevice();
// The control device's dispatch routine: hands create, close, cleanup and device control to the guard.
NTSTATUS ControlDeviceDispatch(PDEVICE_OBJECT deviceObject, PIRP irp);

// Back to the state at load, for tests that load the driver more than once in one process.
void DriverStateResetForTest();
