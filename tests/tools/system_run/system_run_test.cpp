// The whole system, driver to agent, over the real captures: what it expects is derived from the frames.
#include "tools/system_run/system_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "tools/frames/arp_frame.h"
#include "tools/replay/capture_reader.h"
#include "tools/replay/replay_frame.h"

namespace zelk {
namespace {

using ::testing::HasSubstr;

const uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
const size_t kArpSenderMac = 22, kArpSenderIp = 28, kArpTargetIp = 38, kArpFrameBytes = 42;

std::string CapturePath(const std::string& name) {
    return std::string(ZELK_COMMITTED_CAPTURES) + "/" + name;
}

SystemSettings CaptureLan() {
    SystemSettings settings;
    settings.HostMac = Mac("02:5a:00:00:07:64");
    settings.HostIp = Ip("10.250.7.100");
    settings.GatewayIp = Ip("10.250.7.1");
    settings.GatewayMac = Mac("02:5a:00:00:07:01");
    return settings;
}

bool IsArp(const std::vector<uint8_t>& frame) {
    return frame.size() >= kArpFrameBytes && frame[12] == 0x08 && frame[13] == 0x06;
}
MacAddress SenderMac(const std::vector<uint8_t>& frame) {
    MacAddress mac;
    memcpy(mac.Bytes, &frame[kArpSenderMac], sizeof(mac.Bytes));
    return mac;
}
Ipv4Address AddressAt(const std::vector<uint8_t>& frame, size_t offset) {
    Ipv4Address ip;
    memcpy(ip.Bytes, &frame[offset], sizeof(ip.Bytes));
    return ip;
}

std::vector<ReplayFrame> ArpFramesOf(const std::string& path) {
    std::string error;
    const auto reader = CaptureReader::Open(path, &error);
    EXPECT_TRUE(reader) << error;
    std::vector<ReplayFrame> frames;
    if (!reader) {
        return frames;
    }
    const auto linkType = CaptureLinkTypeFromNumber(reader->LinkType());
    CaptureRecord record;
    while (reader->Next(&record, &error) == CaptureReadResult::Record) {
        ReplayFrame frame;
        if (RebuildEthernetFrame(*linkType, record.Data, record.Length, CaptureLan().HostMac, &frame) &&
            IsArp(frame.Bytes)) {
            frames.push_back(frame);
        }
    }
    return frames;
}

// The station that told the host the gateway's address is at its own MAC.
MacAddress PoisonerOf(const std::vector<ReplayFrame>& frames) {
    const SystemSettings lan = CaptureLan();
    for (const ReplayFrame& frame : frames) {
        if (frame.Direction == GUARD_DIR_INBOUND &&
            FormatIpv4(AddressAt(frame.Bytes, kArpSenderIp)) == FormatIpv4(lan.GatewayIp) &&
            FormatMac(SenderMac(frame.Bytes)) != FormatMac(lan.GatewayMac)) {
            return SenderMac(frame.Bytes);
        }
    }
    ADD_FAILURE() << "no poisoning reply in the capture";
    return MacAddress{};
}

std::vector<GuardEvent> EventRecords(const std::vector<uint8_t>& file) {
    std::vector<GuardEvent> events(file.size() / sizeof(GuardEvent));
    if (!events.empty()) {
        memcpy(events.data(), file.data(), events.size() * sizeof(GuardEvent));
    }
    return events;
}

int64_t EventMilliseconds(const GuardEvent& event) {
    return static_cast<int64_t>((event.Time - kTicksFrom1601To1970) / 10000);
}

class TemporaryRoot {
public:
    TemporaryRoot() : m_path(mkdtemp(m_template)) {}
    ~TemporaryRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const char* Path() const { return m_path; }

private:
    char m_template[32] = "/tmp/zelk-system-test.XXXXXX";
    const char* m_path;
};

// Each capture runs once for the whole suite.
const SystemResult& RunOf(const std::string& path) {
    static std::map<std::string, SystemResult> runs;
    auto found = runs.find(path);
    if (found == runs.end()) {
        TemporaryRoot root;
        SystemSettings settings = CaptureLan();
        settings.Root = root.Path();
        SystemResult result;
        std::string error;
        EXPECT_TRUE(RunSystem(path, settings, nullptr, &result, &error)) << error;
        found = runs.emplace(path, result).first;
    }
    return found->second;
}

std::vector<std::string> LinesTagged(const SystemResult& result, const std::string& tag) {
    std::vector<std::string> lines;
    for (const std::string& line : result.LogLines) {
        if (line.rfind(tag, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

class AttackCaptureTest : public ::testing::Test {
protected:
    const std::string path_ = CapturePath("arp-attack.pcap");
    const SystemResult& run_ = RunOf(path_);
    const MacAddress attacker_ = PoisonerOf(ArpFramesOf(path_));
    const SystemSettings lan_ = CaptureLan();
};

TEST_F(AttackCaptureTest, PoisoningRepliesNeverReachTheHostsProtocols) {
    EXPECT_GT(run_.InboundDropped, 0u);
    EXPECT_EQ(run_.FramesPassedUp + run_.InboundDropped, run_.FramesReceived);
    EXPECT_EQ(run_.ReachedProtocols.size(), run_.FramesPassedUp);
    for (const PcapRecord& frame : run_.ReachedProtocols) {
        if (IsArp(frame.Bytes) &&
            FormatIpv4(AddressAt(frame.Bytes, kArpSenderIp)) == FormatIpv4(lan_.GatewayIp)) {
            EXPECT_EQ(FormatMac(SenderMac(frame.Bytes)), FormatMac(lan_.GatewayMac))
                << "at " << frame.TimeMilliseconds;
        }
    }
}

TEST_F(AttackCaptureTest, OneLineAndOneRecordNameTheAttackerAsTheGateway) {
    const std::string poisoning = "IP=" + FormatIpv4(lan_.GatewayIp) + ", MAC=" + FormatMac(attacker_) + ".";
    int poisoningLines = 0;
    for (const std::string& line : LinesTagged(run_, "[2]")) {
        EXPECT_THAT(line, HasSubstr("MAC=" + FormatMac(attacker_))) << "only the attacker is blamed";
        poisoningLines += line.find(poisoning) != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(poisoningLines, 1);
    int poisoningRecords = 0;
    for (const GuardEvent& event : EventRecords(run_.EventFile)) {
        EXPECT_EQ(event.Kind, GUARD_EVENT_INBOUND_SPOOF);
        EXPECT_EQ(FormatMac(event.Mac), FormatMac(attacker_));
        poisoningRecords += FormatIpv4(event.Ip) == FormatIpv4(lan_.GatewayIp) ? 1 : 0;
    }
    EXPECT_EQ(poisoningRecords, 1);
}

TEST_F(AttackCaptureTest, CorrectionFramesReachTheGatewayEverySecondUntilThreeHundredQuietSeconds) {
    const std::vector<GuardEvent> events = EventRecords(run_.EventFile);
    ASSERT_FALSE(events.empty());
    ASSERT_FALSE(run_.CorrectionFrames.empty());
    const int64_t firstAttack = EventMilliseconds(events.front());
    const int64_t lastAttack = EventMilliseconds(events.back());
    for (size_t i = 0; i < run_.CorrectionFrames.size(); ++i) {
        const PcapRecord& frame = run_.CorrectionFrames[i];
        ASSERT_TRUE(IsArp(frame.Bytes));
        EXPECT_EQ(FormatMac(MacAddress{{frame.Bytes[0], frame.Bytes[1], frame.Bytes[2], frame.Bytes[3],
                                        frame.Bytes[4], frame.Bytes[5]}}),
                  FormatMac(lan_.GatewayMac));
        EXPECT_EQ(FormatMac(SenderMac(frame.Bytes)), FormatMac(lan_.HostMac));
        EXPECT_EQ(FormatIpv4(AddressAt(frame.Bytes, kArpSenderIp)), FormatIpv4(lan_.HostIp));
        EXPECT_EQ(FormatIpv4(AddressAt(frame.Bytes, kArpTargetIp)), FormatIpv4(lan_.GatewayIp));
        if (i > 0) {
            EXPECT_EQ(frame.TimeMilliseconds - run_.CorrectionFrames[i - 1].TimeMilliseconds, 1000) << i;
        }
    }
    EXPECT_LE(run_.CorrectionFrames.front().TimeMilliseconds - firstAttack, 2000);
    const int64_t quiet = run_.CorrectionFrames.back().TimeMilliseconds - lastAttack;
    EXPECT_GE(quiet, 300000);
    EXPECT_LE(quiet, 302000);
}

TEST_F(AttackCaptureTest, AgentsTopRowIsTheAttackAsAnAlert) {
    ASSERT_FALSE(run_.AgentRows.empty());
    EXPECT_TRUE(run_.AgentRows.front().alert);
    EXPECT_THAT(run_.AgentRows.front().eventText, HasSubstr("MAC=" + FormatMac(attacker_)));
    EXPECT_EQ(run_.AgentRows.size(), EventRecords(run_.EventFile).size());
}

TEST(BenignCaptureTest, TheAttacksOwnCaptureWithoutTheAttackerLeavesNoTrace) {
    const std::string attack = CapturePath("arp-attack.pcap");
    const MacAddress attacker = PoisonerOf(ArpFramesOf(attack));
    TemporaryRoot root;
    std::vector<PcapRecord> benign;
    std::string error;
    const auto reader = CaptureReader::Open(attack, &error);
    ASSERT_TRUE(reader) << error;
    CaptureRecord record;
    while (reader->Next(&record, &error) == CaptureReadResult::Record) {
        ReplayFrame frame;
        if (RebuildEthernetFrame(*CaptureLinkTypeFromNumber(reader->LinkType()), record.Data, record.Length,
                                 CaptureLan().HostMac, &frame) &&
            memcmp(&frame.Bytes[6], attacker.Bytes, sizeof(attacker.Bytes)) != 0) {
            benign.push_back(PcapRecord{record.Seconds * 1000 + record.Nanoseconds / 1000000, frame.Bytes});
        }
    }
    const std::string path = std::string(root.Path()) + "/benign.pcap";
    ASSERT_TRUE(WritePcapFile(path, benign));

    const SystemResult& run = RunOf(path);
    EXPECT_GT(run.FramesReceived, 0u);
    EXPECT_GT(run.FramesSent, 0u);
    EXPECT_THAT(run.LogLines, ::testing::IsEmpty());
    EXPECT_EQ(run.InboundDropped, 0u);
    EXPECT_EQ(run.OutboundDropped, 0u);
    EXPECT_THAT(run.CorrectionFrames, ::testing::IsEmpty());
    EXPECT_THAT(run.AgentRows, ::testing::IsEmpty());
}

TEST(ScanCaptureTest, TheAttackersScanGivesOneNetworkScanLine) {
    const std::string path = CapturePath("network-scan.pcap");
    std::map<std::string, int> requestsBySender;
    for (const ReplayFrame& frame : ArpFramesOf(path)) {
        ++requestsBySender[FormatMac(SenderMac(frame.Bytes))];
    }
    const auto scanner = std::max_element(requestsBySender.begin(), requestsBySender.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; });
    const SystemResult& run = RunOf(path);
    const std::vector<std::string> scans = LinesTagged(run, "[1]");
    ASSERT_EQ(scans.size(), 1u);
    EXPECT_THAT(scans[0], HasSubstr("scan this network"));
    EXPECT_THAT(scans[0], HasSubstr("MAC=" + scanner->first + "."));
    EXPECT_EQ(run.LogLines.size(), 1u);
    EXPECT_EQ(run.InboundDropped + run.OutboundDropped, 0u);
    EXPECT_THAT(run.CorrectionFrames, ::testing::IsEmpty());
}

TEST(BadCaptureTest, AMissingOrDamagedCaptureIsReportedAndTheFramesBeforeTheDamageStillRun) {
    TemporaryRoot root;
    SystemSettings settings = CaptureLan();
    settings.Root = root.Path();
    SystemResult missing;
    std::string error;
    EXPECT_FALSE(RunSystem(std::string(root.Path()) + "/none.pcap", settings, nullptr, &missing, &error));
    EXPECT_THAT(error, HasSubstr("none.pcap"));

    std::ifstream whole(CapturePath("arp-attack.pcap"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    const std::string cut = std::string(root.Path()) + "/cut.pcap";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 2 / 3);
    SystemResult damaged;
    error.clear();
    EXPECT_FALSE(RunSystem(cut, settings, nullptr, &damaged, &error));
    EXPECT_THAT(error, HasSubstr("truncated"));
    EXPECT_GT(damaged.FramesReceived, 0u);
}

} // namespace
} // namespace zelk
