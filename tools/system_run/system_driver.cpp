#include "tools/system_run/system_driver.h"

#include <cstring>

#include "driver/framework/driver.h"
#include "ndis_host.h"

namespace zelk {
namespace {

const char kGuardUserPath[] = "\\\\.\\ZELKARP";
const UINT kEthernetHeaderBytes = 14;

// Takes every indication of the adapter's virtual miniport so far.
std::vector<NdisHostIndication> TakeIndications(NdisHostAdapter* adapter) {
    std::vector<NdisHostIndication> indications = NdisHostIndicationsForTest(adapter);
    NdisHostClearIndicationsForTest(adapter);
    return indications;
}

} // namespace

SystemDriver::SystemDriver() {
    NdisHostResetForTest();
    DriverStateResetForTest();
}

SystemDriver::~SystemDriver() {
    if (m_adapter != nullptr && NdisHostAdapterStateForTest(m_adapter).Open) {
        NdisHostUnbindAdapter(m_adapter);
    }
    if (m_loaded) {
        NdisHostUnloadDriver();
    }
}

bool SystemDriver::Start(const MacAddress& hostMac, std::string* error) {
    DRIVER_OBJECT driverObject{};
    UNICODE_STRING registryPath{};
    if (DriverEntry(&driverObject, &registryPath) != STATUS_SUCCESS) {
        *error = "the driver did not load";
        return false;
    }
    m_loaded = true;
    NdisHostAdapterConfig config;
    config.Name = std::string("\\Device\\") + kSystemAdapterName;
    config.UpperBindings = std::string("\\Device\\ZELKARP_") + kSystemAdapterName;
    memcpy(config.Mac, hostMac.Bytes, sizeof(config.Mac));
    m_adapter = NdisHostAddAdapter(config);
    if (NdisHostBindAdapter(m_adapter) != NDIS_STATUS_SUCCESS ||
        !NdisHostMiniportStateForTest(m_adapter).Initialized) {
        *error = "the driver did not bind the adapter";
        return false;
    }
    // The host's protocol stack asks for the address as it binds; the driver learns its own MAC from it.
    const NdisHostUpperRequest query = NdisHostUpperQuery(m_adapter, OID_802_3_CURRENT_ADDRESS, 6);
    if (!query.Completed || query.Status != NDIS_STATUS_SUCCESS) {
        *error = "the adapter's address query failed";
        return false;
    }
    TakeIndications(m_adapter);
    return true;
}

bool SystemDriver::Receive(const std::vector<uint8_t>& frame, std::vector<uint8_t>* passedUp) {
    PNDIS_PACKET packet = NdisHostMakeFramePacket(frame.data(), static_cast<ULONG>(frame.size()));
    // Short of resources, as a busy adapter says: the protocols copy the frame before the call returns.
    NDIS_SET_PACKET_STATUS(packet, NDIS_STATUS_RESOURCES);
    NDIS_SET_PACKET_HEADER_SIZE(packet, kEthernetHeaderBytes);
    NdisHostLowerIndicateReceivePacket(m_adapter, packet);
    bool indicated = false;
    for (const NdisHostIndication& indication : TakeIndications(m_adapter)) {
        if (indication.Kind == NdisHostIndicatedReceivePacket) {
            *passedUp = indication.Bytes;
            indicated = true;
        }
    }
    NdisHostFreeFramePacket(packet);
    return indicated;
}

bool SystemDriver::Send(const std::vector<uint8_t>& frame) {
    PNDIS_PACKET packet = NdisHostMakeFramePacket(frame.data(), static_cast<ULONG>(frame.size()));
    const size_t sentBefore = NdisHostLowerSentPacketsForTest(m_adapter).size();
    NdisHostUpperSendPackets(m_adapter, &packet, 1);
    const bool reached = NdisHostLowerSentPacketsForTest(m_adapter).size() > sentBefore;
    TakeIndications(m_adapter);
    NdisHostFreeFramePacket(packet);
    return reached;
}

void* SystemDriver::Open() {
    return NdisHostOpenDevice(kGuardUserPath);
}

bool SystemDriver::Control(void* handle, uint32_t code, const void* input, uint32_t inputLength, void* output,
                           uint32_t outputLength, uint32_t* returned) {
    ULONG bytesReturned = 0;
    const bool succeeded = NdisHostDeviceIoControl(static_cast<NdisHostDeviceHandle*>(handle), code, input,
                                                   inputLength, output, outputLength, &bytesReturned);
    *returned = bytesReturned;
    return succeeded;
}

void SystemDriver::Close(void* handle) {
    NdisHostCloseDevice(static_cast<NdisHostDeviceHandle*>(handle));
}

} // namespace zelk
