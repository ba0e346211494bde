// Address text in and out, and the frames the tools build.
#include <gtest/gtest.h>

#include "tools/frames/arp_frame.h"

namespace zelk::test {
namespace {

TEST(AddressTextTest, ParsesBothMacSpellingsAndRejectsMalformedText) {
    EXPECT_EQ(FormatMac(*ParseMac("00:1a:2b:3c:4d:5e")), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(FormatMac(*ParseMac("00-1A-2B-3C-4D-5E")), "00-1A-2B-3C-4D-5E");
    for (const char* bad :
         {"", "00:1a:2b:3c:4d", "00:1a:2b:3c:4d:5g", "00:1a-2b:3c:4d:5e", "00:1a:2b:3c:4d:5e:"}) {
        EXPECT_FALSE(ParseMac(bad).has_value()) << bad;
    }
}

TEST(AddressTextTest, ParsesDottedDecimalOnly) {
    EXPECT_EQ(FormatIpv4(*ParseIpv4("192.168.1.10")), "192.168.1.10");
    EXPECT_EQ(FormatIpv4(*ParseIpv4("0.0.0.0")), "0.0.0.0");
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.-4", "1..2.3", "1.2.3.4 ", "1234.1.1.1"}) {
        EXPECT_FALSE(ParseIpv4(bad).has_value()) << bad;
    }
}

TEST(ArpFrameTest, FieldsLandWhereTheGuardReadsThem) {
    ArpFrameFields fields;
    fields.SenderMac = Mac("00-1A-2B-3C-4D-5E");
    fields.EthernetSource = Mac("00-0C-29-4F-8E-35");
    fields.SenderIp = Ip("192.168.1.10");
    fields.TargetMac = Mac("00-50-56-C0-00-01");
    fields.TargetIp = Ip("192.168.1.1");
    const Frame frame = BuildArpFrame(fields);
    EXPECT_EQ(frame[6], 0x00);
    EXPECT_EQ(frame[7], 0x0C);
    EXPECT_EQ(frame[12], 0x08);
    EXPECT_EQ(frame[13], 0x06);
    EXPECT_EQ(frame[21], 2);
    EXPECT_EQ(frame[22 + 5], 0x5E);
    EXPECT_EQ(frame[28], 192);
    EXPECT_EQ(frame[32 + 5], 0x01);
    EXPECT_EQ(frame[41], 1);
}

} // namespace
} // namespace zelk::test
