// A simulated Windows host with one LAN adapter, the service state over it, and readers for what the
// service left behind: the log, the event file, the guard requests and the wire.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/zelk_records.h"
#include "platform/debug_output/debug_output_host_control.h"
#include "platform/exclusive_file/exclusive_file_host_control.h"
#include "platform/service/simulated_host.h"
#include "service/poller/event_poller.h"
#include "service/poller/service_state.h"
#include "tools/frames/arp_frame.h"

namespace zelk {

// 2011-03-25 20:35:37 UTC.
constexpr int64_t kStartSeconds = 1301085337;
constexpr int64_t kStartMs = kStartSeconds * 1000;

constexpr char kLanAdapter[] = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kHostMac[] = "00-11-22-33-44-55";
constexpr char kHostIp[] = "192.168.1.5";
constexpr char kGatewayIp[] = "192.168.1.1";
constexpr char kGatewayMac[] = "66-77-88-99-AA-BB";

inline GuardEvent MakeRecord(uint8_t kind, const char* ip, const char* mac = "00-1A-2B-3C-4D-5E",
                             uint64_t processId = 0, const char* processName = "") {
    GuardEvent record{};
    record.Kind = kind;
    record.Time = (static_cast<uint64_t>(kStartSeconds) + 11644473600ull) * 10000000ull;
    record.Mac = Mac(mac);
    record.Ip = Ip(ip);
    record.ProcessId = processId;
    uint16_t name[GUARD_PROCESS_NAME_UNITS] = {};
    for (size_t i = 0; i < GUARD_PROCESS_NAME_UNITS && processName[i] != '\0'; ++i) {
        name[i] = static_cast<unsigned char>(processName[i]);
    }
    memcpy(reinterpret_cast<uint8_t*>(&record) + offsetof(GuardEvent, ProcessName), name, sizeof(name));
    return record;
}

inline std::vector<uint8_t> RecordBytes(const std::vector<GuardEvent>& records) {
    std::vector<uint8_t> bytes(records.size() * GUARD_EVENT_SIZE);
    if (!records.empty()) {
        memcpy(bytes.data(), records.data(), bytes.size());
    }
    return bytes;
}

class SimulatedServiceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelk-service-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        DebugOutputHostClearForTest();
        ExclusiveFileHostResetForTest();
        host = std::make_unique<SimulatedHost>(m_root, kStartSeconds);
        state = std::make_unique<ServiceState>(host.get());
    }

    void TearDown() override {
        host->Shutdown();
        state.reset();
        host.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    // One adapter on 192.168.1.0/24 whose gateway answers ARP.
    void AddLan() {
        host->AddAdapter(SimulatedAdapter{kLanAdapter, Mac(kHostMac), kHostIp, kGatewayIp});
        host->SetArpAnswer(Ip(kGatewayIp), Mac(kGatewayMac));
    }

    // The poller on its own simulated thread; its first cycle runs at the start time.
    void StartPoller() {
        ASSERT_TRUE(host->StartThread(
            [](void* context) { RunEventPoller(static_cast<ServiceState*>(context)); }, state.get()));
        host->AdvanceTo(kStartMs);
    }

    void RunUntilSecond(int64_t second) { host->AdvanceTo(kStartMs + second * 1000); }

    // The drain at `second` (1 or later) hands over exactly `records`.
    void DrainAt(int64_t second, const std::vector<GuardEvent>& records) {
        RunUntilSecond(second - 1);
        host->QueueGuardReadAnswerForTest(RecordBytes(records));
        RunUntilSecond(second);
    }

    std::string Root() const { return m_root; }
    std::string LogPath() const { return host->WindowsDirectory() + "/ZELKSrv.log"; }
    std::string EventPath() const { return host->WindowsDirectory() + "/ZELKSrv.evt"; }

    std::vector<std::string> LogLines() const {
        std::ifstream log(LogPath(), std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(log, line)) {
            EXPECT_FALSE(line.empty() || line.back() != '\r') << "each line ends with CR LF";
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
        }
        return lines;
    }

    std::vector<GuardEvent> EventFileRecords() const {
        std::ifstream file(EventPath(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.size() % GUARD_EVENT_SIZE, 0u);
        std::vector<GuardEvent> records(bytes.size() / GUARD_EVENT_SIZE);
        if (!records.empty()) {
            memcpy(records.data(), bytes.data(), records.size() * GUARD_EVENT_SIZE);
        }
        return records;
    }

    // "[2]" for each logged line, in order.
    std::vector<std::string> LogTags() const {
        std::vector<std::string> tags;
        for (const std::string& line : LogLines()) {
            tags.push_back(line.substr(0, 3));
        }
        return tags;
    }

    std::unique_ptr<SimulatedHost> host;
    std::unique_ptr<ServiceState> state;

private:
    std::string m_root;
};

} // namespace zelk
