// Requests, object identifiers, power states and Plug and Play events of the simulated NDIS 5 host.
#pragma once

#include "ndis_types.h"

typedef ULONG NDIS_OID;
typedef NDIS_OID* PNDIS_OID;

#define OID_GEN_MAC_OPTIONS 0x00010113u
#define OID_GEN_SUPPORTED_GUIDS 0x00010117u
#define OID_802_3_CURRENT_ADDRESS 0x01010102u
#define OID_PNP_CAPABILITIES 0xFD010100u
#define OID_PNP_SET_POWER 0xFD010101u
#define OID_PNP_QUERY_POWER 0xFD010102u

#define NDIS_MAC_OPTION_NO_LOOPBACK 0x00000008u

enum NDIS_REQUEST_TYPE {
    NdisRequestQueryInformation,
    NdisRequestSetInformation,
    NdisRequestQueryStatistics,
};

// One query or set of an object identifier, as a protocol hands it to the adapter below.
struct NDIS_REQUEST {
    UCHAR MacReserved[4 * sizeof(PVOID)];
    NDIS_REQUEST_TYPE RequestType;
    union {
        struct {
            NDIS_OID Oid;
            PVOID InformationBuffer;
            UINT InformationBufferLength;
            UINT BytesWritten;
            UINT BytesNeeded;
        } QUERY_INFORMATION;
        struct {
            NDIS_OID Oid;
            PVOID InformationBuffer;
            UINT InformationBufferLength;
            UINT BytesRead;
            UINT BytesNeeded;
        } SET_INFORMATION;
    } DATA;
};
typedef NDIS_REQUEST* PNDIS_REQUEST;

enum NDIS_DEVICE_POWER_STATE {
    NdisDeviceStateUnspecified = 0,
    NdisDeviceStateD0 = 1,
    NdisDeviceStateD1 = 2,
    NdisDeviceStateD2 = 3,
    NdisDeviceStateD3 = 4,
    NdisDeviceStateMaximum = 5,
};
typedef NDIS_DEVICE_POWER_STATE* PNDIS_DEVICE_POWER_STATE;

struct NDIS_PM_WAKE_UP_CAPABILITIES {
    NDIS_DEVICE_POWER_STATE MinMagicPacketWakeUp;
    NDIS_DEVICE_POWER_STATE MinPatternWakeUp;
    NDIS_DEVICE_POWER_STATE MinLinkChangeWakeUp;
};

// What OID_PNP_CAPABILITIES returns.
struct NDIS_PNP_CAPABILITIES {
    ULONG Flags;
    NDIS_PM_WAKE_UP_CAPABILITIES WakeUpCapabilities;
};
typedef NDIS_PNP_CAPABILITIES* PNDIS_PNP_CAPABILITIES;
static_assert(sizeof(NDIS_PNP_CAPABILITIES) == 16, "the capabilities block is 16 bytes");
static_assert(sizeof(NDIS_DEVICE_POWER_STATE) == 4, "a device power state is 32 bits");

enum NET_PNP_EVENT_CODE {
    NetEventSetPower = 0,
    NetEventQueryPower = 1,
    NetEventQueryRemoveDevice = 2,
    NetEventCancelRemoveDevice = 3,
    NetEventReconfigure = 4,
    NetEventBindList = 5,
    NetEventBindsComplete = 6,
    NetEventPnPCapabilities = 7,
};

// A Plug and Play event for a protocol; for NetEventSetPower the buffer holds the new device power state.
struct NET_PNP_EVENT {
    NET_PNP_EVENT_CODE NetEvent;
    PVOID Buffer;
    ULONG BufferLength;
    ULONG_PTR NdisReserved[4];
    ULONG_PTR TransportReserved[4];
};
typedef NET_PNP_EVENT* PNET_PNP_EVENT;

enum NDIS_DEVICE_PNP_EVENT {
    NdisDevicePnPEventQueryRemoved,
    NdisDevicePnPEventRemoved,
    NdisDevicePnPEventSurpriseRemoved,
    NdisDevicePnPEventQueryStopped,
    NdisDevicePnPEventStopped,
    NdisDevicePnPEventPowerProfileChanged,
};
