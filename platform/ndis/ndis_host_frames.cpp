// Frames through the simulated host: packets of the protocols above and of the lower adapter, sends
// from above, receive indications from below, transfers of look-ahead frames, and everything the
// virtual miniport indicates or completes upwards, recorded in order.
#include <algorithm>

#include "ndis_host_internal.h"

namespace ndis_host {
namespace {

// The buffers and bytes of a packet the host made.
struct FramePacket {
    std::vector<NDIS_BUFFER> Buffers;
    std::vector<UCHAR> Bytes;
};

std::mutex g_FramesMutex;
std::map<PNDIS_PACKET, std::unique_ptr<FramePacket>> g_Frames;

LowerAdapter* Lower(NdisHostAdapter* adapter) {
    return reinterpret_cast<LowerAdapter*>(adapter);
}

// The handlers and context of the adapter's virtual miniport, for a call from above.
bool UpperCall(NdisHostAdapter* adapter, NDIS_MINIPORT_CHARACTERISTICS* handlers, NDIS_HANDLE* context) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    Miniport* miniport = Lower(adapter)->Instance;
    if (miniport == nullptr || !miniport->State.Initialized) {
        return false;
    }
    *handlers = host.Registrations.Miniport;
    *context = miniport->State.AdapterContext;
    return true;
}

NdisHostIndication Indication(NdisHostIndicationKind kind, NDIS_STATUS status, PNDIS_PACKET packet) {
    return NdisHostIndication{kind, status, NetEventSetPower, packet, {}, nullptr};
}

void RecordLookahead(NDIS_HANDLE miniport, const char* call, NdisHostIndicationKind kind, NDIS_HANDLE context,
                     PVOID header, UINT headerSize, PVOID lookahead, UINT lookaheadSize) {
    NdisHostIndication indication = Indication(kind, NDIS_STATUS_SUCCESS, nullptr);
    indication.ReceiveContext = context;
    indication.Bytes.assign(static_cast<PUCHAR>(header), static_cast<PUCHAR>(header) + headerSize);
    indication.Bytes.insert(indication.Bytes.end(), static_cast<PUCHAR>(lookahead),
                            static_cast<PUCHAR>(lookahead) + lookaheadSize);
    RecordIndication(miniport, call, std::move(indication));
}

} // namespace
} // namespace ndis_host

using namespace ndis_host;

PNDIS_PACKET NdisHostMakeFramePacket(const void* frame, ULONG length, UINT pieces) {
    auto made = std::make_unique<FramePacket>();
    made->Bytes.assign(static_cast<const UCHAR*>(frame), static_cast<const UCHAR*>(frame) + length);
    pieces = std::max<UINT>(1, std::min<UINT>(pieces, length == 0 ? 1 : length));
    made->Buffers.resize(pieces);
    ULONG offset = 0;
    for (UINT i = 0; i < pieces; ++i) {
        const ULONG size = i + 1 == pieces ? length - offset : length / pieces;
        made->Buffers[i] =
            NDIS_BUFFER{i + 1 == pieces ? nullptr : &made->Buffers[i + 1], made->Bytes.data() + offset, size};
        offset += size;
    }
    PNDIS_PACKET packet = AllocateOwnPacket();
    packet->Private.Head = &made->Buffers.front();
    packet->Private.Tail = &made->Buffers.back();
    std::lock_guard<std::mutex> guard(g_FramesMutex);
    g_Frames[packet] = std::move(made);
    return packet;
}

void NdisHostFreeFramePacket(PNDIS_PACKET packet) {
    {
        std::lock_guard<std::mutex> guard(g_FramesMutex);
        g_Frames.erase(packet);
    }
    FreeOwnPacket(packet);
}

std::vector<UCHAR> NdisHostPacketBytes(PNDIS_PACKET packet) {
    std::vector<UCHAR> bytes;
    for (PNDIS_BUFFER buffer = packet->Private.Head; buffer != nullptr; buffer = buffer->Next) {
        bytes.insert(bytes.end(), static_cast<PUCHAR>(buffer->VirtualAddress),
                     static_cast<PUCHAR>(buffer->VirtualAddress) + buffer->Length);
    }
    return bytes;
}

void NdisHostUpperSendPackets(NdisHostAdapter* adapter, PNDIS_PACKET* packets, UINT count) {
    NDIS_MINIPORT_CHARACTERISTICS handlers{};
    NDIS_HANDLE context = nullptr;
    if (UpperCall(adapter, &handlers, &context)) {
        handlers.SendPacketsHandler(context, packets, count);
    }
}

void NdisHostUpperReturnPacket(NdisHostAdapter* adapter, PNDIS_PACKET packet) {
    NDIS_MINIPORT_CHARACTERISTICS handlers{};
    NDIS_HANDLE context = nullptr;
    if (UpperCall(adapter, &handlers, &context)) {
        handlers.ReturnPacketHandler(context, packet);
    }
}

NDIS_STATUS NdisHostUpperTransferData(NdisHostAdapter* adapter, UINT offset, UINT count, PNDIS_PACKET packet,
                                      UINT* bytesTransferred) {
    NDIS_MINIPORT_CHARACTERISTICS handlers{};
    NDIS_HANDLE context = nullptr;
    *bytesTransferred = 0;
    if (!UpperCall(adapter, &handlers, &context)) {
        return NDIS_STATUS_FAILURE;
    }
    NDIS_HANDLE receiveContext = nullptr;
    {
        Host& host = TheHost();
        std::lock_guard<std::mutex> guard(host.Mutex);
        receiveContext = Lower(adapter)->LatestReceive.get();
    }
    return handlers.TransferDataHandler(packet, bytesTransferred, context, receiveContext, offset, count);
}

INT NdisHostLowerIndicateReceivePacket(NdisHostAdapter* adapter, PNDIS_PACKET packet) {
    return RegisteredProtocol().ReceivePacketHandler(BindingContextOf(Lower(adapter)), packet);
}

NDIS_STATUS NdisHostLowerIndicateReceive(NdisHostAdapter* adapter, const void* frame, ULONG length,
                                         UINT headerSize, UINT lookaheadSize, PNDIS_PACKET packet) {
    ReceiveIndication* indication = nullptr;
    {
        Host& host = TheHost();
        std::lock_guard<std::mutex> guard(host.Mutex);
        auto latest = std::make_unique<ReceiveIndication>();
        latest->Frame.assign(static_cast<const UCHAR*>(frame), static_cast<const UCHAR*>(frame) + length);
        latest->HeaderSize = headerSize;
        latest->Packet = packet;
        Lower(adapter)->LatestReceive = std::move(latest);
        indication = Lower(adapter)->LatestReceive.get();
    }
    UCHAR* bytes = indication->Frame.data();
    const UINT available = static_cast<UINT>(length) - headerSize;
    return RegisteredProtocol().ReceiveHandler(BindingContextOf(Lower(adapter)), indication, bytes,
                                               headerSize, bytes + headerSize,
                                               std::min(lookaheadSize, available), available);
}

void NdisHostLowerIndicateReceiveComplete(NdisHostAdapter* adapter) {
    RegisteredProtocol().ReceiveCompleteHandler(BindingContextOf(Lower(adapter)));
}

std::vector<PNDIS_PACKET> NdisHostLowerSentPacketsForTest(NdisHostAdapter* adapter) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return Lower(adapter)->Sent;
}

std::vector<PNDIS_PACKET> NdisHostReturnedPacketsForTest() {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return host.ReturnedPackets;
}

PNDIS_PACKET NdisGetReceivedPacket(NDIS_HANDLE ndisBindingHandle, NDIS_HANDLE macContext) {
    EnterNdisCall("NdisGetReceivedPacket", false);
    if (AdapterByBinding(ndisBindingHandle) == nullptr) {
        Violation("NdisGetReceivedPacket on an unknown binding");
        return nullptr;
    }
    return static_cast<ReceiveIndication*>(macContext)->Packet;
}

VOID NdisTransferData(PNDIS_STATUS status, NDIS_HANDLE ndisBindingHandle, NDIS_HANDLE macReceiveContext,
                      UINT byteOffset, UINT bytesToTransfer, PNDIS_PACKET packet, PUINT bytesTransferred) {
    EnterNdisCall("NdisTransferData", false);
    *bytesTransferred = 0;
    LowerAdapter* lower = AdapterByBinding(ndisBindingHandle);
    auto* indication = static_cast<ReceiveIndication*>(macReceiveContext);
    if (lower == nullptr || indication == nullptr) {
        Violation("NdisTransferData without a binding or a receive indication");
        *status = NDIS_STATUS_FAILURE;
        return;
    }
    // Copy the frame's data, from the offset after its header, into the packet's buffers.
    const std::vector<UCHAR>& frame = indication->Frame;
    size_t from = indication->HeaderSize + static_cast<size_t>(byteOffset);
    UINT remaining = bytesToTransfer;
    UINT copied = 0;
    for (PNDIS_BUFFER buffer = packet->Private.Head;
         buffer != nullptr && remaining > 0 && from < frame.size(); buffer = buffer->Next) {
        const UINT take =
            static_cast<UINT>(std::min<size_t>({buffer->Length, remaining, frame.size() - from}));
        memcpy(buffer->VirtualAddress, frame.data() + from, take);
        from += take;
        remaining -= take;
        copied += take;
    }
    Host& host = TheHost();
    bool pend = false;
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        pend = lower->Pend[NdisHostTransferData];
        *status = lower->OperationStatus[NdisHostTransferData];
        if (pend) {
            lower->Pending[NdisHostTransferData].push_back(PendingOperation{true, nullptr, packet, copied});
            host.Changed.notify_all();
        }
    }
    if (pend) {
        *status = NDIS_STATUS_PENDING;
        return;
    }
    *bytesTransferred = copied;
}

VOID NdisReturnPackets(PPNDIS_PACKET packetsToReturn, UINT numberOfPackets) {
    EnterNdisCall("NdisReturnPackets", false);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.ReturnedPackets.insert(host.ReturnedPackets.end(), packetsToReturn,
                                packetsToReturn + numberOfPackets);
}

VOID NdisMSendComplete(NDIS_HANDLE miniportAdapterHandle, PNDIS_PACKET packet, NDIS_STATUS status) {
    RecordIndication(miniportAdapterHandle, "NdisMSendComplete",
                     Indication(NdisHostSendCompleted, status, packet));
}

VOID NdisMIndicateReceivePacket(NDIS_HANDLE miniportAdapterHandle, PPNDIS_PACKET packetArray,
                                UINT numberOfPackets) {
    for (UINT i = 0; i < numberOfPackets; ++i) {
        NdisHostIndication indication = Indication(NdisHostIndicatedReceivePacket,
                                                   NDIS_GET_PACKET_STATUS(packetArray[i]), packetArray[i]);
        indication.Bytes = NdisHostPacketBytes(packetArray[i]);
        RecordIndication(miniportAdapterHandle, "NdisMIndicateReceivePacket", std::move(indication));
    }
}

VOID NdisMEthIndicateReceive(NDIS_HANDLE miniportAdapterHandle, NDIS_HANDLE miniportReceiveContext,
                             PVOID headerBuffer, UINT headerBufferSize, PVOID lookaheadBuffer,
                             UINT lookaheadBufferSize, UINT /*packetSize*/) {
    RecordLookahead(miniportAdapterHandle, "NdisMEthIndicateReceive", NdisHostIndicatedEthReceive,
                    miniportReceiveContext, headerBuffer, headerBufferSize, lookaheadBuffer,
                    lookaheadBufferSize);
}

VOID NdisMTrIndicateReceive(NDIS_HANDLE miniportAdapterHandle, NDIS_HANDLE miniportReceiveContext,
                            PVOID headerBuffer, UINT headerBufferSize, PVOID lookaheadBuffer,
                            UINT lookaheadBufferSize, UINT /*packetSize*/) {
    RecordLookahead(miniportAdapterHandle, "NdisMTrIndicateReceive", NdisHostIndicatedTrReceive,
                    miniportReceiveContext, headerBuffer, headerBufferSize, lookaheadBuffer,
                    lookaheadBufferSize);
}

VOID NdisMEthIndicateReceiveComplete(NDIS_HANDLE miniportAdapterHandle) {
    RecordIndication(miniportAdapterHandle, "NdisMEthIndicateReceiveComplete",
                     Indication(NdisHostIndicatedEthReceiveComplete, NDIS_STATUS_SUCCESS, nullptr));
}

VOID NdisMTrIndicateReceiveComplete(NDIS_HANDLE miniportAdapterHandle) {
    RecordIndication(miniportAdapterHandle, "NdisMTrIndicateReceiveComplete",
                     Indication(NdisHostIndicatedTrReceiveComplete, NDIS_STATUS_SUCCESS, nullptr));
}

VOID NdisMTransferDataComplete(NDIS_HANDLE miniportAdapterHandle, PNDIS_PACKET packet, NDIS_STATUS status,
                               UINT bytesTransferred) {
    NdisHostIndication indication = Indication(NdisHostTransferCompleted, status, packet);
    indication.Bytes = NdisHostPacketBytes(packet);
    indication.Bytes.resize(std::min<size_t>(indication.Bytes.size(), bytesTransferred));
    RecordIndication(miniportAdapterHandle, "NdisMTransferDataComplete", std::move(indication));
}
