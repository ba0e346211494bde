// The whole system on the simulated host under a virtual clock: the driver loaded over the simulated
// NDIS host and bound to the host's adapter, the service polling it through \\.\ZELKARP and putting
// correction frames on the wire through the protocol driver's stand-in, and the agent's reading of the
// event file. A capture drives it: frames from other stations arrive at the adapter, the host's own frames
// are sent by its upper protocol, and the clocks follow the capture's time.
//
// The driver, the guard and the simulated hosts keep global state, so one run exists at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/zelk_records.h"
#include "platform/service/pcap_writer.h"
#include "tools/event_view/event_view.h"

namespace zelk {

struct SystemSettings {
    MacAddress HostMac{};
    Ipv4Address HostIp{};
    Ipv4Address GatewayIp{};
    MacAddress GatewayMac{}; // what the gateway answers to the service's ARP resolution
    std::string Root;        // the simulated Windows directory lives in Root/windows
};

struct SystemResult {
    uint32_t FramesReceived = 0;              // arrived at the adapter from other stations
    uint32_t FramesPassedUp = 0;              // of those, indicated to the host's protocols
    uint32_t InboundDropped = 0;              // received frames the guard dropped
    uint32_t FramesSent = 0;                  // sent by the host's upper protocol
    uint32_t OutboundDropped = 0;             // sends the guard dropped
    uint32_t FramesSkipped = 0;               // capture records holding no Ethernet frame
    std::vector<PcapRecord> ReachedProtocols; // what the host's protocols were given
    std::vector<PcapRecord> Wire;             // the host's sends and the correction frames, in time order
    std::vector<PcapRecord> CorrectionFrames; // what the service put on the wire
    std::vector<std::string> LogLines;        // the service's log, line by line
    std::vector<uint8_t> EventFile;           // the service's event file at the end
    std::vector<EventViewRow> AgentRows;      // newest first
};

// Called with each line of the service's log as soon as it is written.
using SystemLogListener = std::function<void(const std::string& line)>;

// Runs the capture at `capturePath` through the system. False, with `error` set, when the capture cannot
// be read or the driver does not come up; a capture damaged part-way still runs the frames before the
// damage and reports it in `error`, returning false.
bool RunSystem(const std::string& capturePath, const SystemSettings& settings, const SystemLogListener& onLog,
               SystemResult* result, std::string* error);

// How long the run goes on after the capture's last frame: a correction campaign ends 300 quiet seconds
// after the last attack, and the service's next drains must show that.
inline constexpr int64_t kSystemTailMilliseconds = 305 * 1000;

} // namespace zelk
