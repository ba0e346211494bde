// The protocol driver's client on the simulated host: the frame byte for byte, the widened device name,
// a fresh handle per frame, and no frame when the driver cannot take it.
#include "service/discovery/protocol_client.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/service/support/simulated_service_fixture.h"

namespace zelk {
namespace {

class ProtocolClientTest : public SimulatedServiceFixture {
protected:
    void SetUp() override {
        SimulatedServiceFixture::SetUp();
        AddLan();
        host->RegisterService(SimulatedService{L"ZELKProt", L"ZELKProt", L"ZELKProt.sys", true});
    }

    std::vector<AdapterGateway> Gateways() {
        std::vector<AdapterGateway> gateways;
        BuildAdapterGatewayList(*host, &gateways);
        return gateways;
    }
};

TEST_F(ProtocolClientTest, BuildsTheCorrectionFrameByteForByte) {
    const std::vector<AdapterGateway> gateways = Gateways();
    ASSERT_EQ(gateways.size(), 1u);
    uint8_t frame[CORRECTION_FRAME_SIZE];
    BuildCorrectionFrame(gateways[0], frame);
    const uint8_t expected[CORRECTION_FRAME_SIZE] = {
        0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, // destination: the gateway
        0x00, 0x11, 0x22, 0x33, 0x44, 0x55, // source: the host
        0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x02,
        0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 192,  168,  1,    5,  // sender: the host's true binding
        0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 192,  168,  1,    1}; // target: the gateway
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + sizeof(frame)),
              std::vector<uint8_t>(expected, expected + sizeof(expected)));
}

TEST_F(ProtocolClientTest, WritesEachFrameThroughAFreshHandleAttachedToItsAdapter) {
    const std::vector<AdapterGateway> gateways = Gateways();
    EXPECT_EQ(SendCorrectionFrames(*host, gateways), 1u);
    EXPECT_EQ(SendCorrectionFrames(*host, gateways), 1u);
    EXPECT_EQ(host->AttachedDeviceNames(),
              (std::vector<std::string>{std::string("\\DEVICE\\") + kLanAdapter,
                                        std::string("\\DEVICE\\") + kLanAdapter}));
    const std::vector<WireFrame> wire = host->WireFrames();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].Adapter, kLanAdapter);
    EXPECT_EQ(wire[0].Bytes.size(), CORRECTION_FRAME_SIZE);
    EXPECT_EQ(host->OpenHandleCount(), 0u);
}

TEST_F(ProtocolClientTest, AnEmptyListSendsNothing) {
    EXPECT_EQ(SendCorrectionFrames(*host, {}), 0u);
    EXPECT_TRUE(host->WireFrames().empty());
}

TEST_F(ProtocolClientTest, SendsNothingWhileTheDriverIsNotReady) {
    SimulatedFailures failures;
    failures.ProtocolReady = true;
    host->SetFailures(failures);
    EXPECT_EQ(OpenProtocolDriver(*host), 0u);
    EXPECT_EQ(SendCorrectionFrames(*host, Gateways()), 0u);
    EXPECT_EQ(host->OpenHandleCount(), 0u);
}

TEST_F(ProtocolClientTest, SendsNothingWhileTheDriversServiceIsStopped) {
    host->RegisterService(SimulatedService{L"ZELKProt", L"ZELKProt", L"ZELKProt.sys", false});
    EXPECT_EQ(SendCorrectionFrames(*host, Gateways()), 0u);
}

TEST_F(ProtocolClientTest, AnAdapterTheDriverDoesNotKnowGetsNoFrame) {
    std::vector<AdapterGateway> gateways = Gateways();
    gateways[0].AdapterName[1] = 'X';
    EXPECT_EQ(SendCorrectionFrames(*host, gateways), 0u);
    EXPECT_EQ(host->OpenHandleCount(), 0u);
}

struct DeviceNameCase {
    size_t NameLength;
    bool Fits;
};

class AdapterDeviceNameTest : public ::testing::TestWithParam<DeviceNameCase> {};

TEST_P(AdapterDeviceNameTest, FitsOrIsRefusedWhole) {
    const std::string name(GetParam().NameLength, 'N');
    char deviceName[ADAPTER_DEVICE_NAME_CHARS];
    EXPECT_EQ(MakeAdapterDeviceName(name.c_str(), deviceName), GetParam().Fits);
    EXPECT_EQ(std::string(deviceName), GetParam().Fits ? "\\DEVICE\\" + name : "");
}

INSTANTIATE_TEST_SUITE_P(Lengths, AdapterDeviceNameTest,
                         ::testing::Values(DeviceNameCase{0, true}, DeviceNameCase{38, true},
                                           DeviceNameCase{ADAPTER_NAME_MAX_CHARS, true},
                                           DeviceNameCase{ADAPTER_NAME_MAX_CHARS + 1, false},
                                           DeviceNameCase{259, false}));

} // namespace
} // namespace zelk
