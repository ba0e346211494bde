// The guard as a real kernel driver: the Wine test build of ZELKARP.sys loaded by Wine's kernel, its
// control device reached from a user program through CreateFileA and DeviceIoControl.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/wine/wine_harness.h"
#include "tools/frames/arp_frame.h"

namespace zelk::test {
namespace {

const MacAddress kHostMac = Mac("00-0C-29-4F-8E-35");
const Ipv4Address kHostIp = Ip("192.168.1.100");
const MacAddress kGatewayMac = Mac("00-50-56-C0-00-01");
const Ipv4Address kGatewayIp = Ip("192.168.1.1");
const MacAddress kAttackerMac = Mac("00-1A-2B-3C-4D-5E");
const Ipv4Address kAttackerIp = Ip("192.168.1.10");

std::string Hex(const uint8_t* bytes, size_t length) {
    std::string text;
    char pair[3];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof(pair), "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

std::string Hex(const Frame& frame) {
    return Hex(frame.data(), frame.size());
}

std::vector<uint8_t> Unhex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

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
        client_ = Prefix->CopyIn(WineWin64BuildPath("tests/wine/programs/driver/zelk_guard_client.exe"),
                                 "C:\\zelk");
        Prefix->CopyIn(WineWin64BuildPath("platform/kernel/ZELKARP.sys"), "C:\\windows\\system32\\drivers");
        Sc({"create", "ZELKARP", "type=", "kernel",
            "binPath=", "C:\\windows\\system32\\drivers\\ZELKARP.sys"});
        Sc({"start", "ZELKARP"});
        // The service manager may answer before the driver's entry has created the device.
        bool opened = false;
        for (int attempt = 0; attempt < 20 && !opened; ++attempt) {
            const auto answer = Client({"read", std::to_string(GUARD_EVENT_SIZE)});
            opened = answer.empty() || answer[0].rfind("open failed", 0) != 0;
            if (!opened) {
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
        }
        ASSERT_TRUE(opened) << "\\\\.\\ZELKARP never appeared";
    }

    WineResult Sc(const std::vector<std::string>& arguments) {
        WineResult result = Prefix->Run({"C:\\windows\\system32\\sc.exe", arguments, {}});
        EXPECT_TRUE(result.Finished) << "sc " << arguments[0];
        return result;
    }

    // One line of the client's answer per request: "bind ok", "drop"/"pass", "read ok N", then records.
    std::vector<std::string> Client(const std::vector<std::string>& arguments) {
        const WineResult result = Prefix->Run({client_, arguments, {}});
        EXPECT_TRUE(result.Finished);
        return Lines(result.Stdout);
    }

    std::vector<std::string> Inject(const char* direction, const std::vector<Frame>& frames) {
        std::vector<std::string> arguments = {"inject", direction, Hex(kHostMac.Bytes, 6)};
        for (const Frame& frame : frames) {
            arguments.push_back(Hex(frame));
        }
        return Client(arguments);
    }

    // Every pending event, drained as the service drains them; empty when the drain fails.
    std::vector<GuardEvent> Drain(uint32_t bufferBytes = GUARD_READ_BUFFER_SIZE) {
        const std::vector<std::string> lines = Client({"read", std::to_string(bufferBytes)});
        std::vector<GuardEvent> events;
        if (lines.empty() || lines[0].rfind("read ok", 0) != 0) {
            return events;
        }
        for (size_t i = 1; i < lines.size(); ++i) {
            const std::vector<uint8_t> bytes = Unhex(lines[i]);
            EXPECT_EQ(bytes.size(), GUARD_EVENT_SIZE);
            GuardEvent event{};
            std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), sizeof(event)),
                        reinterpret_cast<uint8_t*>(&event));
            events.push_back(event);
        }
        return events;
    }

    std::string client_;
};

TEST_F(GuardDriverWineTest, LoadsServesTheControlDeviceAndUnloads) {
    const auto loaded = Prefix->BootDebugLines();
    EXPECT_NE(std::find(loaded.begin(), loaded.end(),
                        "[Zelk] ARP Protector Driver: Loaded. Release Date: 2011-02-11.\n"),
              loaded.end());

    EXPECT_EQ(Client({"read", std::to_string(GUARD_READ_BUFFER_SIZE)}),
              std::vector<std::string>{"read failed 0"})
        << "a drain with nothing pending fails, as the service expects";

    const ArpBinding gateway{kGatewayIp, kGatewayMac};
    const std::string binding = Hex(reinterpret_cast<const uint8_t*>(&gateway), sizeof(gateway));
    EXPECT_EQ(Client({"bind", binding + "00000000000000000000" + "0000000000"}),
              std::vector<std::string>{"bind failed"})
        << "25 bytes are not whole bindings";
    EXPECT_EQ(Client({"bind", binding}), std::vector<std::string>{"bind ok"});

    const Frame honest = BuildArpFrame(Reply(kGatewayMac, kGatewayIp, kHostMac, kHostIp));
    const Frame spoof = BuildArpFrame(Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp));
    EXPECT_EQ(Inject("in", {honest, spoof, spoof}), (std::vector<std::string>{"pass", "drop", "drop"}));

    EXPECT_TRUE(Drain(100).empty()) << "a buffer that is not whole records gets nothing";
    const auto before = std::chrono::system_clock::now();
    const auto events = Drain();
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
    EXPECT_TRUE(Drain().empty()) << "the drain emptied the table";

    Sc({"stop", "ZELKARP"});
    bool unloaded = false;
    for (int attempt = 0; attempt < 50 && !unloaded; ++attempt) {
        const auto lines = Prefix->BootDebugLines();
        unloaded =
            std::find(lines.begin(), lines.end(), "[Zelk] ARP Protector Driver: Unload.\n") != lines.end();
        if (!unloaded) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    EXPECT_TRUE(unloaded);
}

TEST_F(GuardDriverWineTest, SentForgeriesAndSweepsAreFoundWithTheSendingProcess) {
    ArpFrameFields forged = Reply(kAttackerMac, kAttackerIp, kGatewayMac, kGatewayIp);
    forged.EthernetSource = kHostMac;
    EXPECT_EQ(Inject("out", {BuildArpFrame(forged)}), std::vector<std::string>{"drop"});

    ArpFrameFields sweep;
    sweep.Operation = ArpOperation::Request;
    sweep.SenderMac = kAttackerMac;
    sweep.SenderIp = kAttackerIp;
    std::vector<Frame> frames;
    for (uint32_t i = 1; i <= 128; ++i) {
        sweep.TargetIp = Ip(("10.0.0." + std::to_string(i)).c_str());
        frames.push_back(BuildArpFrame(sweep));
    }
    const auto verdicts = Inject("in", frames);
    EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), "pass"), 128) << "scans are never dropped";

    const auto events = Drain();
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
