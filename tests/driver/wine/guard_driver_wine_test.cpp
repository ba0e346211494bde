// The guard as a real kernel driver: the Wine test build of ZELKARP.sys loaded by Wine's kernel, its
// control device reached from a user program through CreateFileA and DeviceIoControl.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/driver/wine/guard_driver_control.h"

namespace zelk::test {
namespace {

const MacAddress kHostMac = Mac("00-0C-29-4F-8E-35");
const Ipv4Address kHostIp = Ip("192.168.1.100");
const MacAddress kGatewayMac = Mac("00-50-56-C0-00-01");
const Ipv4Address kGatewayIp = Ip("192.168.1.1");
const MacAddress kAttackerMac = Mac("00-1A-2B-3C-4D-5E");
const Ipv4Address kAttackerIp = Ip("192.168.1.10");

ArpFrameFields Reply(MacAddress senderMac, Ipv4Address senderIp, MacAddress targetMac, Ipv4Address targetIp) {
    ArpFrameFields fields;
    fields.EthernetDestination = targetMac;
    fields.SenderMac = senderMac;
    fields.SenderIp = senderIp;
    fields.TargetMac = targetMac;
    fields.TargetIp = targetIp;
    return fields;
}

class GuardDriverWineTest : public WineTest {
protected:
    void SetUp() override {
        WineTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(Prefix->Error().empty()) << Prefix->Error();
        Driver = std::make_unique<GuardDriverControl>(*Prefix);
        ASSERT_TRUE(Driver->Start()) << "\\\\.\\ZELKARP never appeared";
    }

    std::unique_ptr<GuardDriverControl> Driver;
};

TEST_F(GuardDriverWineTest, LoadsServesTheControlDeviceAndUnloads) {
    const auto loaded = Prefix->BootDebugLines();
    EXPECT_NE(std::find(loaded.begin(), loaded.end(),
                        "[Zelk] ARP Protector Driver: Loaded. Release Date: 2011-02-11.\n"),
              loaded.end());

    EXPECT_EQ(Driver->DrainAnswer(), "read failed 0")
        << "a drain with nothing pending fails, as the service expects";

    const ArpBinding gateway{kGatewayIp, kGatewayMac};
    EXPECT_EQ(Driver->BindBytes(HexBytes(&gateway, sizeof(gateway)) + std::string(30, '0')), "bind failed")
        << "25 bytes are not whole bindings";
    EXPECT_EQ(Driver->Bind({gateway}), "bind ok");

    const Frame honest = BuildArpFrame(Reply(kGatewayMac, kGatewayIp, kHostMac, kHostIp));
    const Frame spoof = BuildArpFrame(Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp));
    EXPECT_EQ(Driver->Inject(GUARD_DIR_INBOUND, kHostMac, {honest, spoof, spoof}),
              (std::vector<std::string>{"pass", "drop", "drop"}));

    EXPECT_TRUE(Driver->Drain(100).empty()) << "a buffer that is not whole records gets nothing";
    const auto before = std::chrono::system_clock::now();
    const auto events = Driver->Drain();
    ASSERT_EQ(events.size(), 1u) << "two spoofing frames merge into one pending record";
    EXPECT_EQ(events[0].Kind, GUARD_EVENT_INBOUND_SPOOF);
    EXPECT_EQ(FormatMac(events[0].Mac), FormatMac(kAttackerMac));
    EXPECT_EQ(FormatIpv4(events[0].Ip), FormatIpv4(kGatewayIp));
    EXPECT_EQ(uint64_t{events[0].ProcessId}, 0u);
    // The kernel's clock: 100 ns units since 1601, close to the host's own time.
    const int64_t unixSeconds = static_cast<int64_t>(events[0].Time / 10000000ull) - 11644473600ll;
    const int64_t hostSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(before.time_since_epoch()).count();
    EXPECT_LT(std::llabs(unixSeconds - hostSeconds), 120);
    EXPECT_TRUE(Driver->Drain().empty()) << "the drain emptied the table";

    EXPECT_TRUE(Driver->StopAndWaitForUnload());
}

TEST_F(GuardDriverWineTest, SentForgeriesAndSweepsAreFoundWithTheSendingProgram) {
    ArpFrameFields forged = Reply(kAttackerMac, kAttackerIp, kGatewayMac, kGatewayIp);
    forged.EthernetSource = kHostMac;
    EXPECT_EQ(Driver->Inject(GUARD_DIR_OUTBOUND, kHostMac, {BuildArpFrame(forged)}),
              std::vector<std::string>{"drop"});

    ArpFrameFields sweep;
    sweep.Operation = ArpOperation::Request;
    sweep.SenderMac = kAttackerMac;
    sweep.SenderIp = kAttackerIp;
    std::vector<Frame> frames;
    for (uint8_t i = 1; i <= 128; ++i) {
        sweep.TargetIp = Ipv4Address{{10, 0, 0, i}};
        frames.push_back(BuildArpFrame(sweep));
    }
    const auto verdicts = Driver->Inject(GUARD_DIR_INBOUND, kHostMac, frames);
    EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), "pass"), 128) << "scans are never dropped";

    const auto events = Driver->Drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Kind, GUARD_EVENT_LOCAL_SPOOF);
    EXPECT_NE(uint64_t{events[0].ProcessId}, 0u) << "the process current while the request ran";
    uint16_t name[GUARD_PROCESS_NAME_UNITS];
    std::memcpy(name, events[0].ProcessName, sizeof(name));
    EXPECT_EQ(std::u16string(std::begin(name), std::find(std::begin(name), std::end(name), 0)),
              u"ZELK_GUARD_CLIENT.EXE");
    EXPECT_EQ(FormatMac(events[0].Mac), FormatMac(kAttackerMac));
    EXPECT_EQ(events[1].Kind, GUARD_EVENT_ARP_SCAN);
    EXPECT_EQ(FormatMac(events[1].Mac), FormatMac(kAttackerMac));
    EXPECT_EQ(FormatIpv4(events[1].Ip), FormatIpv4(kAttackerIp));
}

} // namespace
} // namespace zelk::test
