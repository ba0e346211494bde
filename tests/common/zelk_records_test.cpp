// The wire layout of the shared records, byte for byte.
#include <gtest/gtest.h>

#include <cstring>

#include "common/zelk_records.h"
#include "tools/frames/arp_frame.h"

namespace zelk::test {
namespace {

TEST(ZelkRecordsTest, GuardEventFieldsLandAtTheirOffsetsLittleEndianInWireOrder) {
    GuardEvent event{};
    event.Kind = GUARD_EVENT_LOCAL_SPOOF;
    event.Time = 0x0102030405060708ull;
    event.Mac = Mac("00-1A-2B-3C-4D-5E");
    event.Ip = Ip("192.168.1.1");
    event.ProcessId = 0x1122334455667788ull;
    event.ProcessName[0] = 'A';
    event.ProcessName[31] = 0xBEEF;

    uint8_t bytes[GUARD_EVENT_SIZE];
    std::memcpy(bytes, &event, sizeof(bytes));
    const uint8_t time[] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
    const uint8_t mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    const uint8_t ip[] = {0xC0, 0xA8, 0x01, 0x01};
    const uint8_t pid[] = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(std::memcmp(bytes + 1, time, 8), 0);
    EXPECT_EQ(std::memcmp(bytes + 9, mac, 6), 0);
    EXPECT_EQ(std::memcmp(bytes + 15, ip, 4), 0);
    EXPECT_EQ(std::memcmp(bytes + 19, pid, 8), 0);
    EXPECT_EQ(bytes[27], 'A');
    EXPECT_EQ(bytes[28], 0);
    EXPECT_EQ(bytes[89], 0xEF);
    EXPECT_EQ(bytes[90], 0xBE);
}

TEST(ZelkRecordsTest, ArpBindingIsAddressThenMac) {
    const ArpBinding binding{Ip("192.168.1.1"), Mac("00-50-56-C0-00-01")};
    uint8_t bytes[ARP_BINDING_SIZE];
    std::memcpy(bytes, &binding, sizeof(bytes));
    const uint8_t expected[] = {0xC0, 0xA8, 0x01, 0x01, 0x00, 0x50, 0x56, 0xC0, 0x00, 0x01};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof(expected)), 0);
}

TEST(ZelkRecordsTest, AddressesCompareAsWholeValues) {
    const MacAddress a = Mac("00-1A-2B-3C-4D-5E");
    const MacAddress b = Mac("00-1A-2B-3C-4D-5F");
    EXPECT_TRUE(MacEqual(&a, &a));
    EXPECT_FALSE(MacEqual(&a, &b));
    EXPECT_EQ(MacFromValue(MacToValue(&a)).Bytes[5], 0x5E);
    const MacAddress zero{};
    EXPECT_TRUE(MacIsZero(&zero));
    EXPECT_FALSE(MacIsZero(&a));
}

} // namespace
} // namespace zelk::test
