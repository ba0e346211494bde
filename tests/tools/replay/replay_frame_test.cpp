#include "tools/replay/replay_frame.h"

#include <gtest/gtest.h>

#include "tools/frames/arp_frame.h"

namespace zelk {
namespace {

const MacAddress kHost = Mac("02:5a:00:00:07:64");
const MacAddress kOther = Mac("02:5a:00:00:07:42");

std::vector<uint8_t> ArpFrameFrom(const MacAddress& sender) {
    ArpFrameFields fields;
    fields.SenderMac = sender;
    fields.SenderIp = Ip("10.250.7.66");
    fields.TargetIp = Ip("10.250.7.100");
    const Frame frame = BuildArpFrame(fields);
    return {frame.begin(), frame.end()};
}

// A Linux cooked (v1) record: packet type, device type, address length, address, protocol, payload.
std::vector<uint8_t> Cooked(uint16_t packetType, uint16_t deviceType, const MacAddress& source,
                            const std::vector<uint8_t>& ethernet) {
    std::vector<uint8_t> record = {0,
                                   static_cast<uint8_t>(packetType),
                                   static_cast<uint8_t>(deviceType >> 8),
                                   static_cast<uint8_t>(deviceType),
                                   0,
                                   6};
    record.insert(record.end(), source.Bytes, source.Bytes + 6);
    record.insert(record.end(), {0, 0});
    record.insert(record.end(), ethernet.begin() + 12, ethernet.end());
    return record;
}

// A Linux cooked v2 record: protocol, reserved, interface, device type, packet type, address.
std::vector<uint8_t> Cooked2(uint8_t packetType, uint16_t deviceType, const MacAddress& source,
                             const std::vector<uint8_t>& ethernet) {
    std::vector<uint8_t> record = {ethernet[12], ethernet[13], 0, 0, 0, 0, 0, 2};
    record.insert(record.end(),
                  {static_cast<uint8_t>(deviceType >> 8), static_cast<uint8_t>(deviceType), packetType, 6});
    record.insert(record.end(), source.Bytes, source.Bytes + 6);
    record.insert(record.end(), {0, 0});
    record.insert(record.end(), ethernet.begin() + 14, ethernet.end());
    return record;
}

struct FrameCase {
    const char* Name;
    CaptureLinkType Type;
    std::vector<uint8_t> Record;
    MacAddress HostMac;
    bool Ethernet;
    GuardDirection Direction;
};

class RebuildEthernetFrameTest : public testing::TestWithParam<FrameCase> {};

TEST_P(RebuildEthernetFrameTest, GivesTheFrameTheDriverWouldCarry) {
    const FrameCase& c = GetParam();
    ReplayFrame frame;
    ASSERT_EQ(RebuildEthernetFrame(c.Type, c.Record.data(), c.Record.size(), c.HostMac, &frame), c.Ethernet);
    if (!c.Ethernet) {
        return;
    }
    EXPECT_EQ(frame.Direction, c.Direction);
    // Whatever the link type, the guard sees the sender's Ethernet frame; only the destination, which a
    // cooked header does not keep, is zero.
    std::vector<uint8_t> expected = ArpFrameFrom(c.Direction == GUARD_DIR_OUTBOUND ? kHost : kOther);
    if (c.Type != CaptureLinkType::Ethernet) {
        std::fill(expected.begin(), expected.begin() + 6, 0);
    }
    EXPECT_EQ(frame.Bytes, expected);
}

const MacAddress kUnknown{};

INSTANTIATE_TEST_SUITE_P(
    LinkTypes, RebuildEthernetFrameTest,
    testing::Values(FrameCase{"EthernetFromHostIsOutbound", CaptureLinkType::Ethernet, ArpFrameFrom(kHost),
                              kHost, true, GUARD_DIR_OUTBOUND},
                    FrameCase{"EthernetFromOtherIsInbound", CaptureLinkType::Ethernet, ArpFrameFrom(kOther),
                              kHost, true, GUARD_DIR_INBOUND},
                    FrameCase{"EthernetWithHostUnknownIsInbound", CaptureLinkType::Ethernet,
                              ArpFrameFrom(kOther), kUnknown, true, GUARD_DIR_INBOUND},
                    FrameCase{"CookedOutgoingIsOutbound", CaptureLinkType::LinuxCooked,
                              Cooked(4, 1, kHost, ArpFrameFrom(kHost)), kUnknown, true, GUARD_DIR_OUTBOUND},
                    FrameCase{"CookedToHostIsInbound", CaptureLinkType::LinuxCooked,
                              Cooked(0, 1, kOther, ArpFrameFrom(kOther)), kHost, true, GUARD_DIR_INBOUND},
                    FrameCase{"CookedBroadcastIsInbound", CaptureLinkType::LinuxCooked,
                              Cooked(1, 1, kOther, ArpFrameFrom(kOther)), kHost, true, GUARD_DIR_INBOUND},
                    FrameCase{"Cooked2OutgoingIsOutbound", CaptureLinkType::LinuxCooked2,
                              Cooked2(4, 1, kHost, ArpFrameFrom(kHost)), kHost, true, GUARD_DIR_OUTBOUND},
                    FrameCase{"Cooked2FromOtherIsInbound", CaptureLinkType::LinuxCooked2,
                              Cooked2(0, 1, kOther, ArpFrameFrom(kOther)), kHost, true, GUARD_DIR_INBOUND},
                    FrameCase{"CookedLoopbackIsNoEthernet", CaptureLinkType::LinuxCooked,
                              Cooked(0, 772, kOther, ArpFrameFrom(kOther)), kHost, false, GUARD_DIR_INBOUND},
                    FrameCase{"Cooked2HeaderCutShort",
                              CaptureLinkType::LinuxCooked2,
                              {0x08, 0x06, 0, 0, 0, 0},
                              kHost,
                              false,
                              GUARD_DIR_INBOUND},
                    FrameCase{"CookedHeaderCutShort",
                              CaptureLinkType::LinuxCooked,
                              {0, 4, 0, 1},
                              kHost,
                              false,
                              GUARD_DIR_INBOUND}),
    [](const testing::TestParamInfo<FrameCase>& param) { return param.param.Name; });

TEST(RebuildEthernetFrameTest, CookedAddressOfAnotherLengthIsNoEthernet) {
    std::vector<uint8_t> record = Cooked(0, 1, kOther, ArpFrameFrom(kOther));
    record[5] = 8;
    ReplayFrame frame;
    EXPECT_FALSE(
        RebuildEthernetFrame(CaptureLinkType::LinuxCooked, record.data(), record.size(), kHost, &frame));
}

TEST(CaptureLinkTypeTest, OnlyEthernetAndCookedCanBeReplayed) {
    EXPECT_EQ(CaptureLinkTypeFromNumber(1), CaptureLinkType::Ethernet);
    EXPECT_EQ(CaptureLinkTypeFromNumber(113), CaptureLinkType::LinuxCooked);
    EXPECT_EQ(CaptureLinkTypeFromNumber(276), CaptureLinkType::LinuxCooked2);
    for (const int other : {0, 12, 101, 105, 127}) {
        EXPECT_FALSE(CaptureLinkTypeFromNumber(other)) << other;
    }
}

} // namespace
} // namespace zelk
