// The Windows programs together under Wine, as on a customer's host: the guard as a kernel driver, the
// service running under the service control manager and draining it, the agent showing what it records,
// and the clean-up tool removing the service's files at the end.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/driver/wine/guard_driver_control.h"

namespace zelk::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const MacAddress kHostMac = Mac("00-0C-29-4F-8E-35");
const Ipv4Address kHostIp = Ip("192.168.1.100");
const MacAddress kGatewayMac = Mac("00-50-56-C0-00-01");
const Ipv4Address kGatewayIp = Ip("192.168.1.1");
const MacAddress kAttackerMac = Mac("00-1A-2B-3C-4D-5E");
const Ipv4Address kAttackerIp = Ip("192.168.1.10");
const MacAddress kScannerMac = Mac("00-16-3E-11-22-33");
const Ipv4Address kScannerIp = Ip("192.168.1.77");

const char kLog[] = "C:\\windows\\ZELKSrv.log";
const char kEvents[] = "C:\\windows\\ZELKSrv.evt";
const char kInstalledService[] = "C:\\windows\\ZELKSrv.exe";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class SystemWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!WineIsAvailable()) {
            GTEST_SKIP() << "wine64 is not installed: Wine tests skipped; ./zelk test installs it";
        }
        WinePrefixOptions options;
        options.StartDisplay = true; // the agent's window
        m_prefix = std::make_unique<WinePrefix>("system", options);
        ASSERT_EQ(m_prefix->Error(), "");
        m_driver = std::make_unique<GuardDriverControl>(*m_prefix);
        m_probe = m_prefix->CopyIn(WineWin64BuildPath("tests/wine/programs/agent/zelk_agent_probe.exe"),
                                   "C:\\zelk");
    }

    // The log's lines once one of them contains `text`; empty if none does within the limit.
    std::vector<std::string> WaitForLogLine(const std::string& text, std::chrono::seconds limit = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::vector<std::string> lines = OutputLines(ReadFile(m_prefix->HostPath(kLog)));
            for (const std::string& line : lines) {
                if (line.find(text) != std::string::npos) {
                    return lines;
                }
            }
            std::this_thread::sleep_for(200ms);
        }
        return {};
    }

    // The event file's bytes once it holds `records` records (the service appends it right after the log).
    std::string WaitForRecords(size_t records, std::chrono::seconds limit = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::string bytes = ReadFile(m_prefix->HostPath(kEvents));
        while (bytes.size() < records * GUARD_EVENT_SIZE && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(100ms);
            bytes = ReadFile(m_prefix->HostPath(kEvents));
        }
        return bytes;
    }

    std::vector<std::string> Probe(const std::vector<std::string>& arguments) {
        return OutputLines(m_prefix->Run({m_probe, arguments, {}}).Stdout);
    }

    std::unique_ptr<WinePrefix> m_prefix;
    std::unique_ptr<GuardDriverControl> m_driver;
    std::optional<WineProcess> m_agent; // after the prefix: ends first
    std::string m_probe;
};

TEST_F(SystemWineTest, AnAttackTravelsFromTheDriverToTheAgentAndTheCleanUpRemovesTheFiles) {
    ASSERT_TRUE(m_driver->Start()) << "\\\\.\\ZELKARP never appeared";
    // Wine cannot resolve gateways by ARP, so the service finds no binding to push and never replaces
    // the one the test trusts.
    ASSERT_EQ(m_driver->Bind({{kGatewayIp, kGatewayMac}}), "bind ok");

    const std::string service = m_prefix->CopyIn(WineWin64BuildPath("service/host/ZELKSrv.exe"), "C:\\zelk");
    const WineResult created = m_prefix->Run({service, {"create"}, {}}, 60s);
    ASSERT_TRUE(created.Finished) << created.Stderr;
    ASSERT_TRUE(m_prefix->WaitForFile(kInstalledService, 10s));

    m_agent.emplace(
        m_prefix->Start({m_prefix->CopyIn(WineWin64BuildPath("agent/win/ZelkAgt.exe"), "C:\\zelk"), {}, {}}));
    bool hidden = false;
    for (int attempt = 0; attempt < 60 && !hidden; ++attempt) {
        const auto state = Probe({"state"});
        hidden = !state.empty() && state[0].rfind("windows=1 visible=0", 0) == 0;
        if (!hidden) {
            std::this_thread::sleep_for(500ms);
        }
    }
    ASSERT_TRUE(hidden) << "the agent starts hidden in the tray";

    // An attacker claims the gateway: dropped by the driver, drained and recorded by the service.
    ArpFrameFields spoof;
    spoof.EthernetDestination = kHostMac;
    spoof.SenderMac = kAttackerMac;
    spoof.SenderIp = kGatewayIp;
    spoof.TargetMac = kHostMac;
    spoof.TargetIp = kHostIp;
    ASSERT_EQ(m_driver->Inject(GUARD_DIR_INBOUND, kHostMac, {BuildArpFrame(spoof)}),
              std::vector<std::string>{"drop"});
    const std::string attackLine =
        "] In ARP attack, ARP Spoofing from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E.";
    const auto lines = WaitForLogLine(attackLine);
    ASSERT_EQ(lines.size(), 1u) << "one tag-2 line";
    EXPECT_EQ(lines[0].rfind("[2][", 0), 0u);
    const std::string records = WaitForRecords(1);
    ASSERT_EQ(records.size(), GUARD_EVENT_SIZE) << "one record in the event file";
    EXPECT_EQ(records[0], GUARD_EVENT_INBOUND_SPOOF);
    EXPECT_EQ(records.substr(9, 6), std::string(reinterpret_cast<const char*>(kAttackerMac.Bytes), 6));

    // The agent comes up with the attack on top.
    ASSERT_EQ(m_prefix->Run({m_probe, {"wait", "visible", "15"}, {}}).ExitCode, 0)
        << "the agent shows itself";
    const auto rows = Probe({"rows"});
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].rfind("selected\t", 0), 0u);
    EXPECT_NE(rows[0].find("In ARP attack, ARP Spoofing from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E."),
              std::string::npos);

    // A local program sends a forged reply, and a neighbour sweeps the network.
    ArpFrameFields forged;
    forged.EthernetDestination = kGatewayMac;
    forged.EthernetSource = kHostMac;
    forged.SenderMac = kAttackerMac;
    forged.SenderIp = kAttackerIp;
    forged.TargetMac = kGatewayMac;
    forged.TargetIp = kGatewayIp;
    ASSERT_EQ(m_driver->Inject(GUARD_DIR_OUTBOUND, kHostMac, {BuildArpFrame(forged)}),
              std::vector<std::string>{"drop"});
    EXPECT_FALSE(WaitForLogLine("] Program ZELK_GUARD_CLIENT.EXE (PID=").empty()) << "the tag-3 line";

    ArpFrameFields sweep;
    sweep.Operation = ArpOperation::Request;
    sweep.SenderMac = kScannerMac;
    sweep.SenderIp = kScannerIp;
    std::vector<Frame> frames;
    for (uint8_t i = 1; i <= 128; ++i) {
        sweep.TargetIp = Ipv4Address{{192, 168, 2, i}};
        frames.push_back(BuildArpFrame(sweep));
    }
    m_driver->Inject(GUARD_DIR_INBOUND, kHostMac, frames);
    const auto all =
        WaitForLogLine("] Find ARP scan this network from IP=192.168.1.77, MAC=00-16-3E-11-22-33.");
    ASSERT_EQ(all.size(), 3u) << "the tag-1 line after the other two";
    EXPECT_EQ(all[1].rfind("[3][", 0), 0u);
    EXPECT_NE(all[1].find("send ARP spoofing packet, Dest IP=192.168.1.10, MAC=00-1A-2B-3C-4D-5E."),
              std::string::npos);
    EXPECT_EQ(all[2].rfind("[1][", 0), 0u);
    EXPECT_EQ(WaitForRecords(3).size(), 3 * GUARD_EVENT_SIZE);

    // The service has drained everything: a drain now finds nothing pending.
    EXPECT_EQ(m_driver->DrainAnswer(), "read failed 0");

    // The service takes no stop control: end its process, then clean up.
    m_prefix->Run({"taskkill", {"/f", "/im", "ZELKSrv.exe"}, {}});
    const std::string windows = m_prefix->WindowsDir();
    bool gone = false;
    for (int attempt = 0; attempt < 20 && !gone; ++attempt) {
        const WineResult purge = m_prefix->Run({WineWin64BuildPath("purge/ZelkPurge.exe"), {}, {}});
        EXPECT_EQ(purge.ExitCode, 0);
        gone = !fs::exists(windows + "/ZELKSrv.exe") && !fs::exists(windows + "/ZELKSrv.log") &&
               !fs::exists(windows + "/ZELKSrv.evt");
        if (!gone) {
            std::this_thread::sleep_for(500ms); // the ended process may still hold its program file
        }
    }
    EXPECT_TRUE(gone) << "the three files are gone";
}

} // namespace
} // namespace zelk::test
