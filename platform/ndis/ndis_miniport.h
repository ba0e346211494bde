// The miniport side of the simulated NDIS 5 host as a layered (intermediate) miniport driver sees it:
// the wrapper, the 5.1 miniport characteristics, device instances, attributes, completions and
// indications towards the protocols above, and the control device.
#pragma once

#include "kernel_io.h"
#include "ndis_packet.h"
#include "ndis_request.h"
#include "ndis_types.h"

enum NDIS_MEDIUM {
    NdisMedium802_3,
    NdisMedium802_5,
    NdisMediumFddi,
    NdisMediumWan,
    NdisMediumLocalTalk,
    NdisMediumDix,
    NdisMediumArcnetRaw,
    NdisMediumArcnet878_2,
    NdisMediumAtm,
    NdisMediumWirelessWan,
    NdisMediumIrda,
};
typedef NDIS_MEDIUM* PNDIS_MEDIUM;

enum NDIS_INTERFACE_TYPE {
    NdisInterfaceInternal = 0,
};

#define NDIS_ATTRIBUTE_IGNORE_PACKET_TIMEOUT 0x00000001u
#define NDIS_ATTRIBUTE_IGNORE_REQUEST_TIMEOUT 0x00000002u
#define NDIS_ATTRIBUTE_INTERMEDIATE_DRIVER 0x00000010u
#define NDIS_ATTRIBUTE_DESERIALIZE 0x00000020u
#define NDIS_ATTRIBUTE_NO_HALT_ON_SUSPEND 0x00000040u

typedef NDIS_STATUS W_INITIALIZE_HANDLER(PNDIS_STATUS openErrorStatus, PUINT selectedMediumIndex,
                                         PNDIS_MEDIUM mediumArray, UINT mediumArraySize,
                                         NDIS_HANDLE miniportAdapterHandle,
                                         NDIS_HANDLE wrapperConfigurationContext);
typedef VOID W_HALT_HANDLER(NDIS_HANDLE miniportAdapterContext);
typedef NDIS_STATUS W_QUERY_INFORMATION_HANDLER(NDIS_HANDLE miniportAdapterContext, NDIS_OID oid,
                                                PVOID informationBuffer, ULONG informationBufferLength,
                                                PULONG bytesWritten, PULONG bytesNeeded);
typedef NDIS_STATUS W_SET_INFORMATION_HANDLER(NDIS_HANDLE miniportAdapterContext, NDIS_OID oid,
                                              PVOID informationBuffer, ULONG informationBufferLength,
                                              PULONG bytesRead, PULONG bytesNeeded);
typedef NDIS_STATUS W_TRANSFER_DATA_HANDLER(PNDIS_PACKET packet, PUINT bytesTransferred,
                                            NDIS_HANDLE miniportAdapterContext,
                                            NDIS_HANDLE miniportReceiveContext, UINT byteOffset,
                                            UINT bytesToTransfer);
typedef VOID W_RETURN_PACKET_HANDLER(NDIS_HANDLE miniportAdapterContext, PNDIS_PACKET packet);
typedef VOID W_SEND_PACKETS_HANDLER(NDIS_HANDLE miniportAdapterContext, PPNDIS_PACKET packetArray,
                                    UINT numberOfPackets);
typedef VOID W_CANCEL_SEND_PACKETS_HANDLER(NDIS_HANDLE miniportAdapterContext, PVOID cancelId);
typedef VOID W_PNP_EVENT_NOTIFY_HANDLER(NDIS_HANDLE miniportAdapterContext, NDIS_DEVICE_PNP_EVENT pnpEvent,
                                        PVOID informationBuffer, ULONG informationBufferLength);
typedef VOID W_MINIPORT_SHUTDOWN_HANDLER(NDIS_HANDLE shutdownContext);

// Version 5.1 miniport characteristics. The slots typed PVOID are those a layered miniport leaves empty.
struct NDIS51_MINIPORT_CHARACTERISTICS {
    UCHAR MajorNdisVersion;
    UCHAR MinorNdisVersion;
    UINT Reserved;
    PVOID CheckForHangHandler;
    PVOID DisableInterruptHandler;
    PVOID EnableInterruptHandler;
    W_HALT_HANDLER* HaltHandler;
    PVOID HandleInterruptHandler;
    W_INITIALIZE_HANDLER* InitializeHandler;
    PVOID ISRHandler;
    W_QUERY_INFORMATION_HANDLER* QueryInformationHandler;
    PVOID ReconfigureHandler;
    PVOID ResetHandler;
    PVOID SendHandler;
    W_SET_INFORMATION_HANDLER* SetInformationHandler;
    W_TRANSFER_DATA_HANDLER* TransferDataHandler;
    W_RETURN_PACKET_HANDLER* ReturnPacketHandler;
    W_SEND_PACKETS_HANDLER* SendPacketsHandler;
    PVOID AllocateCompleteHandler;
    PVOID CoCreateVcHandler;
    PVOID CoDeleteVcHandler;
    PVOID CoActivateVcHandler;
    PVOID CoDeactivateVcHandler;
    PVOID CoSendPacketsHandler;
    PVOID CoRequestHandler;
    W_CANCEL_SEND_PACKETS_HANDLER* CancelSendPacketsHandler;
    W_PNP_EVENT_NOTIFY_HANDLER* PnPEventNotifyHandler;
    W_MINIPORT_SHUTDOWN_HANDLER* AdapterShutdownHandler;
};
typedef NDIS51_MINIPORT_CHARACTERISTICS NDIS_MINIPORT_CHARACTERISTICS;
typedef NDIS_MINIPORT_CHARACTERISTICS* PNDIS_MINIPORT_CHARACTERISTICS;

// The wrapper: the driver's first and last call to NDIS.
VOID NdisMInitializeWrapper(PNDIS_HANDLE wrapperHandle, PVOID systemSpecific1, PVOID systemSpecific2,
                            PVOID systemSpecific3);
VOID NdisTerminateWrapper(NDIS_HANDLE wrapperHandle, PVOID systemSpecific);
VOID NdisMRegisterUnloadHandler(NDIS_HANDLE wrapperHandle, PDRIVER_UNLOAD unloadHandler);

NDIS_STATUS NdisIMRegisterLayeredMiniport(NDIS_HANDLE wrapperHandle,
                                          PNDIS_MINIPORT_CHARACTERISTICS miniportCharacteristics,
                                          UINT characteristicsLength, PNDIS_HANDLE driverHandle);
VOID NdisIMDeregisterLayeredMiniport(NDIS_HANDLE driverHandle);
VOID NdisIMAssociateMiniport(NDIS_HANDLE driverHandle, NDIS_HANDLE protocolHandle);

// Asks NDIS to initialize the named virtual miniport, now or later; `deviceContext` comes back through
// NdisIMGetDeviceContext in the initialize handler.
NDIS_STATUS NdisIMInitializeDeviceInstanceEx(NDIS_HANDLE driverHandle, PNDIS_STRING driverInstance,
                                             NDIS_HANDLE deviceContext);
// Succeeds only while the initialisation has not started.
NDIS_STATUS NdisIMCancelInitializeDeviceInstance(NDIS_HANDLE driverHandle, PNDIS_STRING deviceInstance);
// Halts the virtual miniport (its halt handler runs before this returns).
NDIS_STATUS NdisIMDeInitializeDeviceInstance(NDIS_HANDLE ndisMiniportHandle);
NDIS_HANDLE NdisIMGetDeviceContext(NDIS_HANDLE miniportAdapterHandle);
VOID NdisMSetAttributesEx(NDIS_HANDLE miniportAdapterHandle, NDIS_HANDLE miniportAdapterContext,
                          UINT checkForHangTimeInSeconds, ULONG attributeFlags,
                          NDIS_INTERFACE_TYPE adapterType);

// Towards the protocols above the virtual miniport.
VOID NdisMQueryInformationComplete(NDIS_HANDLE miniportAdapterHandle, NDIS_STATUS status);
VOID NdisMSetInformationComplete(NDIS_HANDLE miniportAdapterHandle, NDIS_STATUS status);
VOID NdisMIndicateStatus(NDIS_HANDLE miniportAdapterHandle, NDIS_STATUS generalStatus, PVOID statusBuffer,
                         UINT statusBufferSize);
VOID NdisMIndicateStatusComplete(NDIS_HANDLE miniportAdapterHandle);
NDIS_STATUS NdisIMNotifyPnPEvent(NDIS_HANDLE miniportHandle, PNET_PNP_EVENT netPnPEvent);
VOID NdisMSendComplete(NDIS_HANDLE miniportAdapterHandle, PNDIS_PACKET packet, NDIS_STATUS status);
VOID NdisMIndicateReceivePacket(NDIS_HANDLE miniportAdapterHandle, PPNDIS_PACKET packetArray,
                                UINT numberOfPackets);
VOID NdisMEthIndicateReceive(NDIS_HANDLE miniportAdapterHandle, NDIS_HANDLE miniportReceiveContext,
                             PVOID headerBuffer, UINT headerBufferSize, PVOID lookaheadBuffer,
                             UINT lookaheadBufferSize, UINT packetSize);
VOID NdisMTrIndicateReceive(NDIS_HANDLE miniportAdapterHandle, NDIS_HANDLE miniportReceiveContext,
                            PVOID headerBuffer, UINT headerBufferSize, PVOID lookaheadBuffer,
                            UINT lookaheadBufferSize, UINT packetSize);
VOID NdisMEthIndicateReceiveComplete(NDIS_HANDLE miniportAdapterHandle);
VOID NdisMTrIndicateReceiveComplete(NDIS_HANDLE miniportAdapterHandle);
VOID NdisMTransferDataComplete(NDIS_HANDLE miniportAdapterHandle, PNDIS_PACKET packet, NDIS_STATUS status,
                               UINT bytesTransferred);

// The control device: a named device and its symbolic link, served by the given dispatch table
// (IRP_MJ_MAXIMUM_FUNCTION + 1 entries) until deregistered.
NDIS_STATUS NdisMRegisterDevice(NDIS_HANDLE ndisWrapperHandle, PNDIS_STRING deviceName,
                                PNDIS_STRING symbolicName, PDRIVER_DISPATCH majorFunctions[],
                                PDEVICE_OBJECT* deviceObject, NDIS_HANDLE* ndisDeviceHandle);
NDIS_STATUS NdisMDeregisterDevice(NDIS_HANDLE ndisDeviceHandle);
