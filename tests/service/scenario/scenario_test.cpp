// Scenarios: what a file may say, and the road of one attack on the simulated host, from spoofed frames
// fed to the guard to the log, the event file and the correction frames on the wire.
#include "service/scenario/scenario.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <filesystem>

namespace zelk {
namespace {

const char kLan[] = "adapter {A} 00-0C-29-4F-8E-35 192.168.1.100 192.168.1.1\n"
                    "arp 192.168.1.1 00-50-56-C0-00-01\n";
const char kPoisoning[] = "inbound {A} reply 00-1A-2B-3C-4D-5E 192.168.1.1 00-0C-29-4F-8E-35 192.168.1.100\n";

struct BadScenarioCase {
    const char* Name;
    const char* Text;
    const char* Error;
};

class BadScenarioTest : public ::testing::TestWithParam<BadScenarioCase> {};

TEST_P(BadScenarioTest, SaysWhichLineAndWhy) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(GetParam().Text, &scenario, &error));
    EXPECT_EQ(error, GetParam().Error);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadScenarioTest,
    ::testing::Values(
        BadScenarioCase{"UnknownItem", "duration 5\nfly 3\n", "line 2: unknown item 'fly'"},
        BadScenarioCase{"NoDuration", "# nothing\n", "no duration given"},
        BadScenarioCase{"BadMac", "duration 5\nadapter {A} 00-0C-29 1.2.3.4 -\n",
                        "line 2: expected: adapter NAME MAC IP GATEWAY"},
        BadScenarioCase{"BadAddress", "duration 5\nadapter {A} 00-0C-29-4F-8E-35 1.2.3 -\n",
                        "line 2: not an IPv4 address: '1.2.3'"},
        BadScenarioCase{"NegativeTime",
                        "duration 5\nat -1 inbound {A} reply 00-1A-2B-3C-4D-5E 1.1.1.1 "
                        "00-0C-29-4F-8E-35 1.1.1.2\n",
                        "line 2: expected: at SECONDS ..."},
        BadScenarioCase{
            "OutboundWithoutSender",
            "duration 5\nat 1 outbound {A} reply 00-1A-2B-3C-4D-5E 1.1.1.1 00-0C-29-4F-8E-35 1.1.1.2\n",
            "line 2: an outbound frame names its sender: PID PROGRAM"},
        BadScenarioCase{"TrailingWords", "duration 5 6\n", "line 1: expected: duration SECONDS"}),
    [](const ::testing::TestParamInfo<BadScenarioCase>& row) { return row.param.Name; });

TEST(ScenarioParseTest, ExpandsRepeatsAndScans) {
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(std::string("duration 9\n") + kLan + "at 1.5 every 2 times 3 " + kPoisoning +
                                  "at 2 scan {A} 00-1A-2B-3C-4D-5E 192.168.1.10 192.168.1.250 10\n",
                              &scenario, &error))
        << error;
    ASSERT_EQ(scenario.Frames.size(), 13u);
    EXPECT_EQ(scenario.Frames[2].AtMilliseconds, 5500);
    EXPECT_EQ(FormatIpv4(Ipv4Address{{scenario.Frames[12].Bytes[38], scenario.Frames[12].Bytes[39],
                                      scenario.Frames[12].Bytes[40], scenario.Frames[12].Bytes[41]}}),
              "192.168.2.3");
}

class ScenarioRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelk-scenario-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    ScenarioOutcome Run(const std::string& text) {
        Scenario scenario;
        std::string error;
        EXPECT_TRUE(ParseScenario(text, &scenario, &error)) << error;
        return RunScenario(scenario, root);
    }

    std::vector<std::string> LogLines() const {
        std::ifstream log(root + "/windows/ZELKSrv.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    uintmax_t EventRecords() const {
        std::error_code missing;
        const uintmax_t size = std::filesystem::file_size(root + "/windows/ZELKSrv.evt", missing);
        return missing ? 0 : size / GUARD_EVENT_SIZE;
    }

    std::string root;
};

// The attack's road: dropped by the guard, drained within the second, logged, stored and answered.
TEST_F(ScenarioRunTest, SpoofedFramesLeadWithinOneSecondToTheLineTheRecordAndCorrections) {
    const ScenarioOutcome outcome =
        Run(std::string("duration 5\n") + kLan + "at 3.5 " + kPoisoning + "at 3.7 " + kPoisoning);
    EXPECT_EQ(outcome.FramesDropped, 2u);

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "[2][" + std::string(lines[0].substr(4, 19)) +
                            "] In ARP attack, ARP Spoofing from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E.\r");
    EXPECT_EQ(EventRecords(), 1u);

    ASSERT_EQ(outcome.CorrectionFrames.size(), 2u);
    const int64_t attackMs = 1301085337 * 1000ll + 3500;
    EXPECT_LE(outcome.CorrectionFrames[0].TimeMilliseconds - attackMs, 1000);
    const Frame expected = BuildArpFrame(
        ArpFrameFields{ArpOperation::Reply, Mac("00-50-56-C0-00-01"), std::nullopt, Mac("00-0C-29-4F-8E-35"),
                       Ip("192.168.1.100"), Mac("00-50-56-C0-00-01"), Ip("192.168.1.1")});
    EXPECT_EQ(outcome.CorrectionFrames[0].Bytes, std::vector<uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(outcome.CorrectionFrames[0].Adapter, "{A}");
}

TEST_F(ScenarioRunTest, TheShippedScenarioPoisonsTheHost) {
    std::ifstream file(ZELK_SOURCE_DIR "/service/scenario/scenarios/gateway-poisoning.scenario");
    std::stringstream text;
    text << file.rdbuf();
    const ScenarioOutcome outcome = Run(text.str());

    std::vector<std::string> tags;
    for (const std::string& line : LogLines()) {
        tags.push_back(line.substr(0, 3));
    }
    EXPECT_EQ(tags, (std::vector<std::string>{"[2]", "[2]", "[1]", "[3]"}));
    EXPECT_EQ(EventRecords(), 4u);
    // Every second from the first drained attack until 301 s after the last.
    EXPECT_GT(outcome.CorrectionFrames.size(), 300u);
    EXPECT_LT(outcome.CorrectionFrames.back().TimeMilliseconds, (1301085337ll + 400) * 1000);
}

} // namespace
} // namespace zelk
