// Load and unload: the guard first, then the layered miniport and the protocol, associated.
#include "driver/framework/driver.h"
#include "driver/framework/miniport.h"
#include "driver/framework/packet_paths.h"
#include "driver/framework/protocol.h"
#include "driver/guard/guard_tables.h"

DriverState g_Driver = {};

namespace {

// The slots that need a handler but nothing done.
VOID EmptyHandler(NDIS_HANDLE /*miniportAdapterContext*/, NDIS_DEVICE_PNP_EVENT /*pnpEvent*/,
                  PVOID /*informationBuffer*/, ULONG /*informationBufferLength*/) {}
VOID EmptyHandler(NDIS_HANDLE /*shutdownContext*/) {}
VOID EmptyHandler(NDIS_HANDLE /*protocolBindingContext*/, NDIS_STATUS /*status*/) {}

void FillMiniportCharacteristics(NDIS_MINIPORT_CHARACTERISTICS* miniport) {
    NdisZeroMemory(miniport, sizeof(*miniport));
    miniport->MajorNdisVersion = 5;
    miniport->MinorNdisVersion = 1;
    miniport->InitializeHandler = MiniportInitialize;
    miniport->HaltHandler = MiniportHalt;
    miniport->QueryInformationHandler = MiniportQueryInformation;
    miniport->SetInformationHandler = MiniportSetInformation;
    miniport->TransferDataHandler = MiniportTransferData;
    miniport->ReturnPacketHandler = MiniportReturnPacket;
    miniport->SendPacketsHandler = MiniportSendPackets;
    miniport->CancelSendPacketsHandler = MiniportCancelSendPackets;
    miniport->PnPEventNotifyHandler = EmptyHandler;
    miniport->AdapterShutdownHandler = EmptyHandler;
}

void FillProtocolCharacteristics(NDIS_PROTOCOL_CHARACTERISTICS* protocol) {
    NdisZeroMemory(protocol, sizeof(*protocol));
    protocol->MajorNdisVersion = 5;
    protocol->MinorNdisVersion = 0;
    NdisInitUnicodeString(&protocol->Name, ZELK_WIDE("ZELKARP"));
    protocol->OpenAdapterCompleteHandler = ProtocolOpenCloseComplete;
    protocol->CloseAdapterCompleteHandler = ProtocolOpenCloseComplete;
    protocol->SendCompleteHandler = ProtocolSendComplete;
    protocol->TransferDataCompleteHandler = ProtocolTransferDataComplete;
    protocol->ResetCompleteHandler = EmptyHandler;
    protocol->RequestCompleteHandler = ProtocolRequestComplete;
    protocol->ReceiveHandler = ProtocolReceive;
    protocol->ReceiveCompleteHandler = ProtocolReceiveComplete;
    protocol->StatusHandler = ProtocolStatus;
    protocol->StatusCompleteHandler = ProtocolStatusComplete;
    protocol->ReceivePacketHandler = ProtocolReceivePacket;
    protocol->BindAdapterHandler = ProtocolBindAdapter;
    protocol->UnbindAdapterHandler = ProtocolUnbindAdapter;
    protocol->PnPEventHandler = ProtocolPnPEvent;
    protocol->UnloadHandler = ProtocolUnload;
}

} // namespace

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
    GuardInitialize();
    NdisAllocateSpinLock(&g_Driver.GlobalLock);
    NDIS_STATUS status = NDIS_STATUS_SUCCESS;

    NdisMInitializeWrapper(&g_Driver.WrapperHandle, driverObject, registryPath, nullptr);

    NDIS_MINIPORT_CHARACTERISTICS miniport;
    FillMiniportCharacteristics(&miniport);
    status = NdisIMRegisterLayeredMiniport(g_Driver.WrapperHandle, &miniport, sizeof(miniport),
                                           &g_Driver.DriverHandle);
    if (status != NDIS_STATUS_SUCCESS) {
        NdisTerminateWrapper(g_Driver.WrapperHandle, nullptr);
        return status;
    }
    NdisMRegisterUnloadHandler(g_Driver.WrapperHandle, DriverUnload);

    NDIS_PROTOCOL_CHARACTERISTICS protocol;
    FillProtocolCharacteristics(&protocol);
    NdisRegisterProtocol(&status, &g_Driver.ProtocolHandle, &protocol, sizeof(protocol));
    if (status != NDIS_STATUS_SUCCESS) {
        NdisIMDeregisterLayeredMiniport(g_Driver.DriverHandle);
        NdisTerminateWrapper(g_Driver.WrapperHandle, nullptr);
        return status;
    }

    NdisIMAssociateMiniport(g_Driver.DriverHandle, g_Driver.ProtocolHandle);
    DbgPrint("[Zelk] ARP Protector Driver: Loaded. Release Date: 2011-02-11.\n");
    return STATUS_SUCCESS;
}

VOID DriverUnload(PDRIVER_OBJECT /*driverObject*/) {
    ProtocolUnload();
    NdisIMDeregisterLayeredMiniport(g_Driver.DriverHandle);
    GuardTablesFree();
    DbgPrint("[Zelk] ARP Protector Driver: Unload.\n");
}

void DriverStateResetForTest() {
    g_Driver = DriverState{};
}
