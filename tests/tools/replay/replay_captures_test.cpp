// The real captures replayed by the command with --json, checked against what the rules say of their
// frames. The frames are read here with libpcap on their own, not through the replay's reader; the
// captures come from ZELK_CAPTURE_DIR (fresh ones from make-captures.sh) or else the committed ones.
#include <pcap/pcap.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "tests/tools/replay/replay_run.h"
#include "tools/frames/arp_frame.h"

namespace zelk::test {
namespace {

const char kHostMac[] = "02:5a:00:00:07:64";
const char kBinding[] = "10.250.7.1=02:5a:00:00:07:01";
const MacAddress kGatewayMac = Mac("02:5a:00:00:07:01");
const MacAddress kHostMacValue = Mac(kHostMac);
const MacAddress kAttackerMac = Mac("02:5a:00:00:07:42");
const Ipv4Address kGatewayIp = Ip("10.250.7.1");
const Ipv4Address kHostIp = Ip("10.250.7.100");
const Ipv4Address kAttackerIp = Ip("10.250.7.66");

// One captured ARP frame, decoded straight from the capture's link layer.
struct ArpRecord {
    uint64_t Frame;
    int64_t Second;
    bool Outbound;
    MacAddress EthernetSource;
    MacAddress SenderMac;
    Ipv4Address SenderIp;
    MacAddress TargetMac;
    Ipv4Address TargetIp;
};

std::string CapturePath(const std::string& name) {
    const char* folder = std::getenv("ZELK_CAPTURE_DIR");
    return std::string(folder != nullptr && *folder != '\0' ? folder : ZELK_COMMITTED_CAPTURES) + "/" + name;
}

std::vector<ArpRecord> ReadArpRecords(const std::string& path) {
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* pcap = pcap_open_offline(path.c_str(), error);
    EXPECT_NE(pcap, nullptr) << error;
    std::vector<ArpRecord> records;
    if (pcap == nullptr) {
        return records;
    }
    const int linkType = pcap_datalink(pcap);
    pcap_pkthdr* header;
    const u_char* data;
    for (uint64_t frame = 1; pcap_next_ex(pcap, &header, &data) == 1; ++frame) {
        // Where each link type keeps the EtherType, the sender's address and the payload, and whether
        // the host sent the frame (cooked packet type 4, "outgoing").
        size_t payload = 14, type = 12, source = 6;
        bool outbound = false;
        if (linkType == DLT_LINUX_SLL) {
            payload = 16, type = 14, source = 6;
            outbound = header->caplen >= 2 && data[1] == 4;
        } else if (linkType == DLT_LINUX_SLL2) {
            payload = 20, type = 0, source = 12;
            outbound = header->caplen >= 11 && data[10] == 4;
        }
        if (header->caplen < payload + 28 || data[type] != 0x08 || data[type + 1] != 0x06) {
            continue;
        }
        ArpRecord record{frame, header->ts.tv_sec, outbound, {}, {}, {}, {}, {}};
        std::memcpy(record.EthernetSource.Bytes, data + source, 6);
        std::memcpy(record.SenderMac.Bytes, data + payload + 8, 6);
        std::memcpy(record.SenderIp.Bytes, data + payload + 14, 4);
        std::memcpy(record.TargetMac.Bytes, data + payload + 18, 6);
        std::memcpy(record.TargetIp.Bytes, data + payload + 24, 4);
        if (linkType == DLT_EN10MB) {
            record.Outbound = MacEqual(&record.EthernetSource, &kHostMacValue);
        }
        records.push_back(record);
    }
    pcap_close(pcap);
    return records;
}

// The frame at which `sender` first is the latest sender towards 128 distinct targets, each within the
// current whole second or the two before it; 0 if never.
uint64_t ScanFrame(const std::vector<ArpRecord>& records, const MacAddress& sender) {
    struct Latest {
        uint64_t Sender;
        int64_t Second;
    };
    std::map<uint32_t, Latest> byTarget;
    for (const ArpRecord& record : records) {
        byTarget[Ipv4ToValue(&record.TargetIp)] = {MacToValue(&record.SenderMac), record.Second};
        if (!MacEqual(&record.SenderMac, &sender)) {
            continue;
        }
        size_t recent = 0;
        for (const auto& [target, latest] : byTarget) {
            recent += latest.Sender == MacToValue(&sender) && record.Second - latest.Second <= 2;
        }
        if (recent >= 128) {
            return record.Frame;
        }
    }
    return 0;
}

std::set<uint64_t> DroppedFrames(const JsonReplay& replay, const std::string& direction) {
    std::set<uint64_t> frames;
    for (const JsonDrop& drop : replay.Drops) {
        if (drop.Direction == direction) {
            frames.insert(drop.Frame);
        }
    }
    return frames;
}

std::vector<JsonEvent> EventsOfKind(const JsonReplay& replay, int kind) {
    std::vector<JsonEvent> events;
    for (const JsonEvent& event : replay.Events) {
        if (event.Kind == kind) {
            events.push_back(event);
        }
    }
    return events;
}

JsonReplay Replay(const std::string& capture, std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {CapturePath(capture), "--json", "--host-mac", kHostMac,
                                          "--binding",          kBinding};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const CommandResult result = RunReplay(arguments);
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    return ParseReplayJson(result.Out);
}

TEST(ReplayCapturesTest, PoisoningOfTheGatewayIsDroppedAndReportedWithTheAttackersMac) {
    const std::vector<ArpRecord> records = ReadArpRecords(CapturePath("arp-attack.pcap"));
    const JsonReplay replay = Replay("arp-attack.pcap");
    const std::set<uint64_t> dropped = DroppedFrames(replay, "inbound");

    std::vector<ArpRecord> poisoning;
    size_t gatewayFrames = 0;
    for (const ArpRecord& record : records) {
        const bool claimsGateway = Ipv4Equal(&record.SenderIp, &kGatewayIp);
        if (!record.Outbound && claimsGateway && !MacEqual(&record.SenderMac, &kGatewayMac)) {
            poisoning.push_back(record);
            EXPECT_EQ(dropped.count(record.Frame), 1u) << "poisoning reply, frame " << record.Frame;
        }
        if (!record.Outbound && MacEqual(&record.SenderMac, &kGatewayMac)) {
            ++gatewayFrames;
            EXPECT_EQ(dropped.count(record.Frame), 0u) << "the true gateway's frame " << record.Frame;
        }
    }
    ASSERT_GE(poisoning.size(), 2u);
    EXPECT_GE(gatewayFrames, 2u) << "the gateway's gratuitous frames";
    EXPECT_TRUE(DroppedFrames(replay, "outbound").empty());

    const std::vector<JsonEvent> inbound = EventsOfKind(replay, GUARD_EVENT_INBOUND_SPOOF);
    ASSERT_FALSE(inbound.empty());
    EXPECT_EQ(inbound[0].Frame, poisoning[0].Frame);
    EXPECT_EQ(inbound[0].Mac, FormatMac(kAttackerMac));
    EXPECT_EQ(inbound[0].Ip, FormatIpv4(kGatewayIp));
    EXPECT_EQ(inbound[0].ProcessId, 0u);
    EXPECT_EQ(
        inbound[0].Line.find("] In ARP attack, ARP Spoofing from IP=10.250.7.1, MAC=02-5A-00-00-07-42."),
        std::string("[2][yyyy/mm/dd hh:mm:ss").size());
    // Findings merge until the service's next drain, a second later: one event per second of attack.
    std::set<int64_t> seconds;
    for (const JsonEvent& event : inbound) {
        EXPECT_EQ(event.Mac, FormatMac(kAttackerMac));
        const auto frame = std::find_if(records.begin(), records.end(),
                                        [&](const ArpRecord& record) { return record.Frame == event.Frame; });
        ASSERT_NE(frame, records.end());
        EXPECT_TRUE(seconds.insert(frame->Second).second)
            << "two kind-2 events from second " << frame->Second;
    }
    EXPECT_TRUE(EventsOfKind(replay, GUARD_EVENT_LOCAL_SPOOF).empty());
}

TEST(ReplayCapturesTest, NetworkScanIsReportedAtTheAttackersHundredTwentyEighthTarget) {
    const std::vector<ArpRecord> records = ReadArpRecords(CapturePath("network-scan.pcap"));
    const JsonReplay replay = Replay("network-scan.pcap");
    const uint64_t expected = ScanFrame(records, kAttackerMac);
    ASSERT_NE(expected, 0u);

    EXPECT_EQ(replay.Frames, records.size());
    EXPECT_TRUE(replay.Drops.empty());
    const std::vector<JsonEvent> scans = EventsOfKind(replay, GUARD_EVENT_ARP_SCAN);
    ASSERT_FALSE(scans.empty());
    EXPECT_EQ(scans[0].Frame, expected);
    EXPECT_EQ(scans[0].Direction, "inbound");
    EXPECT_EQ(scans[0].Mac, FormatMac(kAttackerMac));
    EXPECT_EQ(scans[0].Ip, FormatIpv4(kAttackerIp));
    EXPECT_NE(scans[0].Line.find("Find ARP scan this network from IP=10.250.7.66, MAC=02-5A-00-00-07-42."),
              std::string::npos);
}

TEST(ReplayCapturesTest, HostsOwnScanIsReportedAsAnOutboundScanByItsProgram) {
    const std::vector<ArpRecord> records = ReadArpRecords(CapturePath("host-scan.pcap"));
    const JsonReplay replay = Replay("host-scan.pcap", {"--process", "arp-scan:31337"});
    const uint64_t expected = ScanFrame(records, kHostMacValue);
    ASSERT_NE(expected, 0u);

    EXPECT_TRUE(replay.Drops.empty());
    const std::vector<JsonEvent> scans = EventsOfKind(replay, GUARD_EVENT_ARP_SCAN);
    ASSERT_FALSE(scans.empty());
    EXPECT_EQ(scans[0].Frame, expected);
    EXPECT_EQ(scans[0].Direction, "outbound");
    EXPECT_EQ(scans[0].Mac, FormatMac(kHostMacValue));
    EXPECT_EQ(scans[0].Ip, FormatIpv4(kHostIp));
    EXPECT_EQ(scans[0].ProcessId, 31337u);
    EXPECT_EQ(scans[0].ProcessName, "ARP-SCAN");
    EXPECT_NE(scans[0].Line.find("] Program ARP-SCAN (PID=31337) use ARP SCAN network."), std::string::npos);
}

TEST(ReplayCapturesTest, HostsOwnSpoofingToolIsStoppedAtTheAdapter) {
    const std::vector<ArpRecord> records = ReadArpRecords(CapturePath("host-spoof.pcap"));
    const JsonReplay replay = Replay("host-spoof.pcap", {"--process", "arpspoof:4242"});
    const std::set<uint64_t> dropped = DroppedFrames(replay, "outbound");

    size_t claims = 0;
    size_t forged = 0;
    for (const ArpRecord& record : records) {
        if (!record.Outbound) {
            continue;
        }
        const bool isForged =
            !MacEqual(&record.SenderMac, &kHostMacValue) || !MacEqual(&record.EthernetSource, &kHostMacValue);
        const bool claimsGateway = Ipv4Equal(&record.SenderIp, &kGatewayIp);
        claims += !isForged && claimsGateway;
        forged += isForged;
        EXPECT_EQ(dropped.count(record.Frame), isForged || claimsGateway ? 1u : 0u)
            << "frame " << record.Frame;
    }
    EXPECT_GE(claims, 1u);
    EXPECT_GE(forged, 1u);
    EXPECT_TRUE(DroppedFrames(replay, "inbound").empty());

    const std::vector<JsonEvent> local = EventsOfKind(replay, GUARD_EVENT_LOCAL_SPOOF);
    ASSERT_FALSE(local.empty());
    // The claim names the host it would mislead: the attacker.
    EXPECT_EQ(local[0].Mac, FormatMac(kAttackerMac));
    EXPECT_EQ(local[0].Ip, FormatIpv4(kAttackerIp));
    for (const JsonEvent& event : local) {
        EXPECT_EQ(event.ProcessId, 4242u);
        EXPECT_EQ(event.ProcessName, "ARPSPOOF");
        EXPECT_EQ(event.Direction, "outbound");
    }
}

} // namespace
} // namespace zelk::test
