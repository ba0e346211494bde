// The replay command as users run it: its output forms, its errors and their exit code.
#include <pcap/pcap.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/tools/replay/capture_files.h"
#include "tests/tools/replay/replay_run.h"
#include "tools/frames/arp_frame.h"

namespace zelk::test {
namespace {

const std::string kAttack = std::string(ZELK_COMMITTED_CAPTURES) + "/arp-attack.pcap";

size_t LineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A gateway's true reply, then an attacker's claim of the gateway's address a second later.
std::vector<TestRecord> PoisoningRecords() {
    ArpFrameFields truth;
    truth.SenderMac = Mac("00:50:56:c0:00:01");
    truth.SenderIp = Ip("192.168.1.1");
    ArpFrameFields claim = truth;
    claim.SenderMac = Mac("00:1a:2b:3c:4d:5e");
    const Frame first = BuildArpFrame(truth);
    const Frame second = BuildArpFrame(claim);
    return {{1300000000, 0, {first.begin(), first.end()}},
            {1300000001, 500000, {second.begin(), second.end()}}};
}

const std::vector<std::string> kPoisoningOptions = {"--binding", "192.168.1.1=00:50:56:c0:00:01"};

std::vector<std::string> With(std::vector<std::string> first, const std::vector<std::string>& rest) {
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

TEST(ReplayCommandTest, TextShowsDropsThenLogLinesThenSummary) {
    TempFolder folder;
    WritePcap(folder.Path("attack.pcap"), DLT_EN10MB, PoisoningRecords());
    const CommandResult result = RunReplay(With({folder.Path("attack.pcap")}, kPoisoningOptions));
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(result.Err, "");
    EXPECT_EQ(result.Out, "frame 2 inbound dropped: 192.168.1.1 claimed by 00-1A-2B-3C-4D-5E, trusted at "
                          "00-50-56-C0-00-01\n"
                          "[2][2011/03/13 07:06:41] In ARP attack, ARP Spoofing from IP=192.168.1.1, "
                          "MAC=00-1A-2B-3C-4D-5E.\n"
                          "2 frames, 2 ARP frames; dropped 1 inbound, 0 outbound; events: 0 local spoofing "
                          "(kind 1), 1 inbound spoofing (kind 2), 0 ARP scan (kind 3)\n");
}

TEST(ReplayCommandTest, PcapngReplaysAsPcapDoes) {
    TempFolder folder;
    WritePcap(folder.Path("attack.pcap"), DLT_EN10MB, PoisoningRecords());
    WritePcapng(folder.Path("attack.pcapng"), DLT_EN10MB, PoisoningRecords());
    const CommandResult pcap = RunReplay(With({folder.Path("attack.pcap"), "--json"}, kPoisoningOptions));
    const CommandResult pcapng = RunReplay(With({folder.Path("attack.pcapng"), "--json"}, kPoisoningOptions));
    EXPECT_EQ(pcapng.ExitCode, 0) << pcapng.Err;
    EXPECT_EQ(pcapng.Out, pcap.Out);
    EXPECT_EQ(ParseReplayJson(pcapng.Out).Events.size(), 1u);
}

TEST(ReplayCommandTest, HelpDocumentsEveryOption) {
    const CommandResult result = RunReplay({"--help"});
    EXPECT_EQ(result.ExitCode, 0);
    for (const char* option : {"--host-mac", "--binding", "--process", "--json", "LINUX_SLL2", "pcapng"}) {
        EXPECT_NE(result.Out.find(option), std::string::npos) << option;
    }
}

// Every failure is one line on stderr naming the problem, and exit code 2.
struct ErrorCase {
    const char* Name;
    std::vector<std::string> Arguments;
    const char* Message;
};

class ReplayCommandErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(ReplayCommandErrorTest, FailsWithOneLineAndCodeTwo) {
    const CommandResult result = RunReplay(GetParam().Arguments);
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(LineCount(result.Err), 1u) << result.Err;
    EXPECT_NE(result.Err.find(GetParam().Message), std::string::npos) << result.Err;
    EXPECT_EQ(result.Out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ReplayCommandErrorTest,
    testing::Values(
        ErrorCase{"MissingFile", {"/nonexistent/capture.pcap"}, "cannot read capture"},
        ErrorCase{"NotACapture", {ZELK_COMMITTED_CAPTURES "/README.md"}, "cannot read capture"},
        ErrorCase{"BadHostMac", {kAttack, "--host-mac", "02:5a:00:00:07"}, "bad MAC address"},
        ErrorCase{"BadBindingIp", {kAttack, "--binding", "10.250.7.300=02:5a:00:00:07:01"}, "bad binding"},
        ErrorCase{"BadBindingMac", {kAttack, "--binding=10.250.7.1=02:5a:00:00:07:zz"}, "bad binding"},
        ErrorCase{"BadProcess", {kAttack, "--process", "arpspoof"}, "bad process"},
        ErrorCase{"UnknownOption", {kAttack, "--verbose"}, "unknown option"},
        ErrorCase{"NoCapture", {"--json"}, "no capture"}),
    [](const testing::TestParamInfo<ErrorCase>& param) { return param.param.Name; });

TEST(ReplayCommandTest, UnsupportedLinkTypeIsRefused) {
    TempFolder folder;
    WritePcap(folder.Path("raw.pcap"), DLT_RAW, {{1300000000, 0, {0x45, 0, 0, 20}}});
    const CommandResult result = RunReplay({folder.Path("raw.pcap")});
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(LineCount(result.Err), 1u);
    EXPECT_NE(result.Err.find("link type RAW"), std::string::npos) << result.Err;
    EXPECT_EQ(result.Out, "");
}

TEST(ReplayCommandTest, TruncatedCaptureStillReportsTheFramesBeforeTheCut) {
    TempFolder folder;
    // Cut inside the data of the last of the 20 records.
    std::vector<uint8_t> bytes = ReadBytes(kAttack);
    bytes.resize(bytes.size() - 30);
    WriteBytes(folder.Path("cut.pcap"), bytes);

    const CommandResult result =
        RunReplay({folder.Path("cut.pcap"), "--json", "--host-mac", "02:5a:00:00:07:64", "--binding",
                   "10.250.7.1=02:5a:00:00:07:01"});
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(LineCount(result.Err), 1u);
    EXPECT_NE(result.Err.find("truncated"), std::string::npos) << result.Err;
    const JsonReplay replay = ParseReplayJson(result.Out);
    EXPECT_EQ(replay.Frames, 19u);
    EXPECT_EQ(replay.DroppedInbound, 4u);
    EXPECT_FALSE(replay.Events.empty());
}

} // namespace
} // namespace zelk::test
