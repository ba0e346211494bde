#include "tools/replay/replay_options.h"

#include <gtest/gtest.h>

#include "tools/frames/arp_frame.h"

namespace zelk {
namespace {

TEST(ReplayOptionsTest, ReadsEveryOptionInBothForms) {
    ReplayOptions options;
    std::string error;
    ASSERT_TRUE(ParseReplayOptions({"--host-mac", "02:5a:00:00:07:64", "capture.pcap",
                                    "--binding=10.250.7.1=02-5A-00-00-07-01", "--binding",
                                    "10.250.7.2=02:5a:00:00:07:02", "--process=arp-scan:4242", "--json"},
                                   &options, &error))
        << error;
    EXPECT_EQ(options.CapturePath, "capture.pcap");
    const MacAddress host = Mac("02:5a:00:00:07:64");
    EXPECT_TRUE(MacEqual(&options.Settings.HostMac, &host));
    ASSERT_EQ(options.Settings.Bindings.size(), 2u);
    EXPECT_EQ(FormatIpv4(options.Settings.Bindings[1].Ip), "10.250.7.2");
    EXPECT_EQ(FormatMac(options.Settings.Bindings[0].Mac), "02-5A-00-00-07-01");
    ASSERT_TRUE(options.Settings.Process);
    EXPECT_EQ(options.Settings.Process->Name, "arp-scan");
    EXPECT_EQ(options.Settings.Process->Id, 4242u);
    EXPECT_TRUE(options.Json);
}

TEST(ReplayOptionsTest, DefaultsAreAnUnknownAdapterNoBindingsAndNoProcess) {
    ReplayOptions options;
    std::string error;
    ASSERT_TRUE(ParseReplayOptions({"capture.pcap"}, &options, &error));
    EXPECT_TRUE(MacIsZero(&options.Settings.HostMac));
    EXPECT_TRUE(options.Settings.Bindings.empty());
    EXPECT_FALSE(options.Settings.Process);
    EXPECT_FALSE(options.Json);
}

TEST(ReplayOptionsTest, ProcessNameMayHoldColonsAndIdsUseSixtyFourBits) {
    ReplayOptions options;
    std::string error;
    ASSERT_TRUE(
        ParseReplayOptions({"c.pcap", "--process", "a:b.exe:18446744073709551615"}, &options, &error));
    EXPECT_EQ(options.Settings.Process->Name, "a:b.exe");
    EXPECT_EQ(options.Settings.Process->Id, 18446744073709551615ull);
}

TEST(ReplayOptionsTest, HelpNeedsNoCapture) {
    ReplayOptions options;
    std::string error;
    EXPECT_TRUE(ParseReplayOptions({"--help"}, &options, &error));
    EXPECT_TRUE(options.Help);
    EXPECT_TRUE(ParseReplayOptions({"-h"}, &options, &error));
}

struct BadArguments {
    const char* Name;
    std::vector<std::string> Arguments;
    const char* Error;
};

class ReplayOptionsErrorTest : public testing::TestWithParam<BadArguments> {};

TEST_P(ReplayOptionsErrorTest, NamesTheProblem) {
    ReplayOptions options;
    std::string error;
    EXPECT_FALSE(ParseReplayOptions(GetParam().Arguments, &options, &error));
    EXPECT_NE(error.find(GetParam().Error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ReplayOptionsErrorTest,
    testing::Values(
        BadArguments{"NoCapture", {}, "no capture file given"},
        BadArguments{"TwoCaptures", {"a.pcap", "b.pcap"}, "one capture at a time"},
        BadArguments{"ShortMac", {"c.pcap", "--host-mac", "02:5a:00:00:07"}, "bad MAC address '02:5a"},
        BadArguments{"MacNotHex", {"c.pcap", "--host-mac=02:5a:00:00:07:xy"}, "bad MAC address"},
        BadArguments{"MissingValue", {"c.pcap", "--host-mac"}, "--host-mac needs a value"},
        BadArguments{"BindingWithoutMac", {"c.pcap", "--binding", "10.250.7.1"}, "bad binding"},
        BadArguments{
            "BindingIpOutOfRange", {"c.pcap", "--binding", "10.250.7.256=02:5a:00:00:07:01"}, "bad binding"},
        BadArguments{"ProcessWithoutId", {"c.pcap", "--process", "arpspoof"}, "bad process"},
        BadArguments{"ProcessWithoutName", {"c.pcap", "--process", ":42"}, "bad process"},
        BadArguments{"ProcessIdNotANumber", {"c.pcap", "--process", "x:4a"}, "bad process"},
        BadArguments{"ProcessIdTooBig", {"c.pcap", "--process", "x:18446744073709551616"}, "bad process"},
        BadArguments{"ProcessIdNegative", {"c.pcap", "--process", "x:-1"}, "bad process"},
        BadArguments{"FlagWithValue", {"c.pcap", "--json=yes"}, "--json takes no value"},
        BadArguments{"UnknownOption", {"c.pcap", "-v"}, "unknown option '-v'"}),
    [](const testing::TestParamInfo<BadArguments>& param) { return param.param.Name; });

} // namespace
} // namespace zelk
