// ./zelk system [CAPTURE] [options]: the whole system on the simulated host, driven by a capture: the
// service's log as it is written, the agent's rows, a summary, and on request the two sides as captures.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/frames/arp_frame.h"
#include "tools/system_run/system_run.h"

using namespace zelk;

namespace {

const int kExitFailure = 2;

const char kUsage[] = R"(usage: ./zelk system [CAPTURE] [--host-mac MAC] [--host-ip IP] [--gateway IP=MAC]
                     [--received-pcap FILE] [--wire-pcap FILE]
Runs CAPTURE (pcap, pcapng; Ethernet or Linux cooked) through the driver, the service and the agent on
the simulated host, under a virtual clock that follows the capture's time. Frames from other stations
arrive at the host's adapter; the host's own frames are sent by its protocols; the gateway answers the
service's ARP resolution.
  --host-mac MAC          the protected host's adapter address
  --host-ip IP            its IPv4 address
  --gateway IP=MAC        its gateway, trusted at that MAC
  --received-pcap FILE    writes what reached the host's protocols
  --wire-pcap FILE        writes what went onto the wire: the host's sends and the correction frames
Without options, the shipped capture's LAN: host 10.250.7.100 at 02:5a:00:00:07:64, gateway
10.250.7.1=02:5a:00:00:07:01.
)";

struct SystemOptions {
    std::string CapturePath;
    SystemSettings Settings;
    std::string ReceivedPcap;
    std::string WirePcap;
    bool Help = false;
};

bool ParseOptions(const std::vector<std::string>& arguments, SystemOptions* options, std::string* error) {
    options->Settings.HostMac = Mac("02:5a:00:00:07:64");
    options->Settings.HostIp = Ip("10.250.7.100");
    options->Settings.GatewayIp = Ip("10.250.7.1");
    options->Settings.GatewayMac = Mac("02:5a:00:00:07:01");
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            options->Help = true;
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            if (!options->CapturePath.empty()) {
                *error = "one capture at a time";
                return false;
            }
            options->CapturePath = option;
            continue;
        }
        const bool takesValue = option == "--host-mac" || option == "--host-ip" || option == "--gateway" ||
                                option == "--received-pcap" || option == "--wire-pcap";
        if (!takesValue) {
            *error = "unknown option " + option;
            return false;
        }
        if (i + 1 == arguments.size()) {
            *error = option + " needs a value";
            return false;
        }
        const std::string& value = arguments[++i];
        if (option == "--host-mac") {
            const auto mac = ParseMac(value);
            if (!mac) {
                *error = "bad host MAC '" + value + "'";
                return false;
            }
            options->Settings.HostMac = *mac;
        } else if (option == "--host-ip") {
            const auto ip = ParseIpv4(value);
            if (!ip) {
                *error = "bad host IP '" + value + "'";
                return false;
            }
            options->Settings.HostIp = *ip;
        } else if (option == "--gateway") {
            const size_t equals = value.find('=');
            const auto ip = ParseIpv4(value.substr(0, equals));
            const auto mac = equals == std::string::npos ? std::nullopt : ParseMac(value.substr(equals + 1));
            if (!ip || !mac) {
                *error = "bad gateway '" + value + "': expected IP=MAC, as 192.168.1.1=00:50:56:c0:00:01";
                return false;
            }
            options->Settings.GatewayIp = *ip;
            options->Settings.GatewayMac = *mac;
        } else if (option == "--received-pcap") {
            options->ReceivedPcap = value;
        } else {
            options->WirePcap = value;
        }
    }
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "system: %s\n", message.c_str());
    return kExitFailure;
}

void PrintReport(const SystemResult& result) {
    std::printf("\nThe agent's list (newest on top):\n");
    if (result.AgentRows.empty()) {
        std::printf("  (no events)\n");
    }
    for (const EventViewRow& row : result.AgentRows) {
        std::printf("  %s  %s  %s\n", row.timeText.c_str(), row.alert ? "ALERT" : "     ",
                    row.eventText.c_str());
    }
    std::printf("\nSummary:\n"
                "  frames received by the adapter: %u, passed up to the host's protocols: %u, dropped: %u\n"
                "  frames sent by the host: %u, put on the wire: %u, dropped: %u\n"
                "  correction frames sent: %u\n",
                result.FramesReceived, result.FramesPassedUp, result.InboundDropped, result.FramesSent,
                result.FramesSent - result.OutboundDropped, result.OutboundDropped,
                static_cast<unsigned>(result.CorrectionFrames.size()));
    if (result.FramesSkipped > 0) {
        std::printf("  capture records without an Ethernet frame, skipped: %u\n", result.FramesSkipped);
    }
}

} // namespace

int main(int argc, char** argv) {
    SystemOptions options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        return Fail(error + " (see --help)");
    }
    if (options.Help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.CapturePath.empty()) {
        return Fail("no capture named (see --help)");
    }
    char root[] = "/tmp/zelk-system.XXXXXX";
    if (mkdtemp(root) == nullptr) {
        return Fail("cannot make a working directory under /tmp");
    }
    options.Settings.Root = root;

    const char* logHeading = "The service's log (ZELKSrv.log), as it is written:\n";
    bool headed = false;
    SystemResult result;
    const bool ran = RunSystem(
        options.CapturePath, options.Settings,
        [&](const std::string& line) {
            std::printf("%s  %s\n", headed ? "" : logHeading, line.c_str());
            headed = true;
            std::fflush(stdout);
        },
        &result, &error);
    const std::string removeRoot = std::string("rm -rf '") + root + "'";
    if (std::system(removeRoot.c_str()) != 0) {
        std::fprintf(stderr, "system: could not remove %s\n", root);
    }
    if (!ran && result.FramesReceived + result.FramesSent == 0) {
        return Fail(error);
    }
    if (!headed) {
        std::printf("%s  (no lines)\n", logHeading);
    }
    PrintReport(result);
    if (!options.ReceivedPcap.empty() && !WritePcapFile(options.ReceivedPcap, result.ReachedProtocols)) {
        return Fail("cannot write " + options.ReceivedPcap);
    }
    if (!options.WirePcap.empty() && !WritePcapFile(options.WirePcap, result.Wire)) {
        return Fail("cannot write " + options.WirePcap);
    }
    std::fflush(stdout);
    return ran ? 0 : Fail(error);
}
