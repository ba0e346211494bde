// The protocol side of the simulated NDIS 5 host as a protocol driver sees it: the 5.0 protocol
// characteristics, per-binding configuration, opening and closing adapters, requests and sends.
#pragma once

#include "ndis_miniport.h"
#include "ndis_packet.h"
#include "ndis_request.h"
#include "ndis_types.h"

typedef VOID OPEN_ADAPTER_COMPLETE_HANDLER(NDIS_HANDLE protocolBindingContext, NDIS_STATUS status,
                                           NDIS_STATUS openErrorStatus);
typedef VOID CLOSE_ADAPTER_COMPLETE_HANDLER(NDIS_HANDLE protocolBindingContext, NDIS_STATUS status);
typedef VOID SEND_COMPLETE_HANDLER(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet,
                                   NDIS_STATUS status);
typedef VOID TRANSFER_DATA_COMPLETE_HANDLER(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet,
                                            NDIS_STATUS status, UINT bytesTransferred);
typedef VOID RESET_COMPLETE_HANDLER(NDIS_HANDLE protocolBindingContext, NDIS_STATUS status);
typedef VOID REQUEST_COMPLETE_HANDLER(NDIS_HANDLE protocolBindingContext, PNDIS_REQUEST ndisRequest,
                                      NDIS_STATUS status);
typedef NDIS_STATUS RECEIVE_HANDLER(NDIS_HANDLE protocolBindingContext, NDIS_HANDLE macReceiveContext,
                                    PVOID headerBuffer, UINT headerBufferSize, PVOID lookAheadBuffer,
                                    UINT lookaheadBufferSize, UINT packetSize);
typedef VOID RECEIVE_COMPLETE_HANDLER(NDIS_HANDLE protocolBindingContext);
typedef VOID STATUS_HANDLER(NDIS_HANDLE protocolBindingContext, NDIS_STATUS generalStatus, PVOID statusBuffer,
                            UINT statusBufferSize);
typedef VOID STATUS_COMPLETE_HANDLER(NDIS_HANDLE protocolBindingContext);
typedef INT RECEIVE_PACKET_HANDLER(NDIS_HANDLE protocolBindingContext, PNDIS_PACKET packet);
typedef VOID BIND_HANDLER(PNDIS_STATUS status, NDIS_HANDLE bindContext, PNDIS_STRING deviceName,
                          PVOID systemSpecific1, PVOID systemSpecific2);
typedef VOID UNBIND_HANDLER(PNDIS_STATUS status, NDIS_HANDLE protocolBindingContext,
                            NDIS_HANDLE unbindContext);
typedef NDIS_STATUS PNP_EVENT_HANDLER(NDIS_HANDLE protocolBindingContext, PNET_PNP_EVENT netPnPEvent);
typedef VOID UNLOAD_PROTOCOL_HANDLER(VOID);

// Version 5.0 protocol characteristics; the connection-oriented slots stay empty.
struct NDIS50_PROTOCOL_CHARACTERISTICS {
    UCHAR MajorNdisVersion;
    UCHAR MinorNdisVersion;
    USHORT Filler;
    UINT Reserved;
    OPEN_ADAPTER_COMPLETE_HANDLER* OpenAdapterCompleteHandler;
    CLOSE_ADAPTER_COMPLETE_HANDLER* CloseAdapterCompleteHandler;
    SEND_COMPLETE_HANDLER* SendCompleteHandler;
    TRANSFER_DATA_COMPLETE_HANDLER* TransferDataCompleteHandler;
    RESET_COMPLETE_HANDLER* ResetCompleteHandler;
    REQUEST_COMPLETE_HANDLER* RequestCompleteHandler;
    RECEIVE_HANDLER* ReceiveHandler;
    RECEIVE_COMPLETE_HANDLER* ReceiveCompleteHandler;
    STATUS_HANDLER* StatusHandler;
    STATUS_COMPLETE_HANDLER* StatusCompleteHandler;
    NDIS_STRING Name;
    RECEIVE_PACKET_HANDLER* ReceivePacketHandler;
    BIND_HANDLER* BindAdapterHandler;
    UNBIND_HANDLER* UnbindAdapterHandler;
    PNP_EVENT_HANDLER* PnPEventHandler;
    UNLOAD_PROTOCOL_HANDLER* UnloadHandler;
    PVOID ReservedHandlers[4];
    PVOID CoSendCompleteHandler;
    PVOID CoStatusHandler;
    PVOID CoReceivePacketHandler;
    PVOID CoAfRegisterNotifyHandler;
};
typedef NDIS50_PROTOCOL_CHARACTERISTICS NDIS_PROTOCOL_CHARACTERISTICS;
typedef NDIS_PROTOCOL_CHARACTERISTICS* PNDIS_PROTOCOL_CHARACTERISTICS;

VOID NdisRegisterProtocol(PNDIS_STATUS status, PNDIS_HANDLE ndisProtocolHandle,
                          PNDIS_PROTOCOL_CHARACTERISTICS protocolCharacteristics, UINT characteristicsLength);
VOID NdisDeregisterProtocol(PNDIS_STATUS status, NDIS_HANDLE ndisProtocolHandle);
// Offers the protocol every adapter it is not bound to, through its bind handler.
VOID NdisReEnumerateProtocolBindings(NDIS_HANDLE ndisProtocolHandle);

// Per-binding configuration, opened on the bind handler's first system-specific argument.
enum NDIS_PARAMETER_TYPE {
    NdisParameterInteger,
    NdisParameterHexInteger,
    NdisParameterString,
    NdisParameterMultiString,
};
struct NDIS_CONFIGURATION_PARAMETER {
    NDIS_PARAMETER_TYPE ParameterType;
    union {
        ULONG IntegerData;
        NDIS_STRING StringData;
    } ParameterData;
};
typedef NDIS_CONFIGURATION_PARAMETER* PNDIS_CONFIGURATION_PARAMETER;

VOID NdisOpenProtocolConfiguration(PNDIS_STATUS status, PNDIS_HANDLE configurationHandle,
                                   PNDIS_STRING protocolSection);
// The value stays valid until the configuration handle is closed.
VOID NdisReadConfiguration(PNDIS_STATUS status, PNDIS_CONFIGURATION_PARAMETER* parameterValue,
                           NDIS_HANDLE configurationHandle, PNDIS_STRING keyword,
                           NDIS_PARAMETER_TYPE parameterType);
VOID NdisCloseConfiguration(NDIS_HANDLE configurationHandle);

// Opens the named lower adapter with the first medium of `mediumArray` it supports; may pend, finishing
// through the open-adapter-complete handler.
VOID NdisOpenAdapter(PNDIS_STATUS status, PNDIS_STATUS openErrorStatus, PNDIS_HANDLE ndisBindingHandle,
                     PUINT selectedMediumIndex, PNDIS_MEDIUM mediumArray, UINT mediumArraySize,
                     NDIS_HANDLE ndisProtocolHandle, NDIS_HANDLE protocolBindingContext,
                     PNDIS_STRING adapterName, UINT openOptions, PVOID addressingInformation);
// May pend, finishing through the close-adapter-complete handler.
VOID NdisCloseAdapter(PNDIS_STATUS status, NDIS_HANDLE ndisBindingHandle);
// May pend, finishing through the request-complete handler.
VOID NdisRequest(PNDIS_STATUS status, NDIS_HANDLE ndisBindingHandle, PNDIS_REQUEST ndisRequest);

VOID NdisSend(PNDIS_STATUS status, NDIS_HANDLE ndisBindingHandle, PNDIS_PACKET packet);
VOID NdisCancelSendPackets(NDIS_HANDLE ndisBindingHandle, PVOID cancelId);
VOID NdisReturnPackets(PPNDIS_PACKET packetsToReturn, UINT numberOfPackets);
VOID NdisTransferData(PNDIS_STATUS status, NDIS_HANDLE ndisBindingHandle, NDIS_HANDLE macReceiveContext,
                      UINT byteOffset, UINT bytesToTransfer, PNDIS_PACKET packet, PUINT bytesTransferred);
PNDIS_PACKET NdisGetReceivedPacket(NDIS_HANDLE ndisBindingHandle, NDIS_HANDLE macContext);
