#include "tools/system_run/system_run.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/service/simulated_host.h"
#include "service/host/service_host.h"
#include "tools/frames/arp_frame.h"
#include "tools/replay/capture_reader.h"
#include "tools/replay/replay_frame.h"
#include "tools/system_run/system_driver.h"

namespace zelk {
namespace {

// The service starts this long before the capture's first frame, so its bindings are in place.
const int64_t kLeadMilliseconds = 5000;
const int64_t kDrainMilliseconds = 1000;

struct TimedFrame {
    int64_t TimeMilliseconds;
    ReplayFrame Frame;
};

bool ReadCapture(const std::string& path, const MacAddress& hostMac, std::vector<TimedFrame>* frames,
                 uint32_t* skipped, std::string* error) {
    const auto reader = CaptureReader::Open(path, error);
    if (!reader) {
        *error = "cannot read capture '" + path + "': " + *error;
        return false;
    }
    const auto linkType = CaptureLinkTypeFromNumber(reader->LinkType());
    if (!linkType) {
        *error = "capture '" + path + "' has link type " + CaptureReader::LinkTypeName(reader->LinkType()) +
                 "; only Ethernet and Linux cooked (LINUX_SLL, LINUX_SLL2) captures can be run";
        return false;
    }
    CaptureRecord record;
    CaptureReadResult result;
    while ((result = reader->Next(&record, error)) == CaptureReadResult::Record) {
        TimedFrame frame{record.Seconds * 1000 + record.Nanoseconds / 1000000, {}};
        if (RebuildEthernetFrame(*linkType, record.Data, record.Length, hostMac, &frame.Frame)) {
            frames->push_back(std::move(frame));
        } else {
            ++*skipped;
        }
    }
    if (result == CaptureReadResult::Truncated) {
        *error = "capture '" + path + "' is truncated or damaged after " + std::to_string(frames->size()) +
                 " frames: " + *error;
        return false;
    }
    return true;
}

// Hands on the log's lines as the service writes them.
class LogFollower {
public:
    LogFollower(std::string path, const SystemLogListener& onLog, std::vector<std::string>* lines)
        : m_path(std::move(path)), m_onLog(onLog), m_lines(lines) {}

    void Follow() {
        std::ifstream file(m_path, std::ios::binary);
        if (!file) {
            return;
        }
        file.seekg(static_cast<std::streamoff>(m_offset));
        const std::string added((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        size_t start = 0;
        size_t end;
        while ((end = added.find('\n', start)) != std::string::npos) {
            std::string line = added.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            m_lines->push_back(line);
            if (m_onLog) {
                m_onLog(line);
            }
            start = end + 1;
        }
        m_offset += start;
    }

private:
    std::string m_path;
    const SystemLogListener& m_onLog;
    std::vector<std::string>* m_lines;
    size_t m_offset = 0;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void RunFrames(const std::vector<TimedFrame>& frames, SystemDriver* driver, SimulatedHost* host,
               LogFollower* log, SystemResult* result) {
    for (const TimedFrame& timed : frames) {
        host->AdvanceTo(std::max(timed.TimeMilliseconds, host->NowMilliseconds()));
        log->Follow();
        const std::vector<uint8_t>& bytes = timed.Frame.Bytes;
        if (timed.Frame.Direction == GUARD_DIR_OUTBOUND) {
            ++result->FramesSent;
            if (driver->Send(bytes)) {
                result->Wire.push_back(PcapRecord{host->NowMilliseconds(), bytes});
            } else {
                ++result->OutboundDropped;
            }
            continue;
        }
        ++result->FramesReceived;
        std::vector<uint8_t> passedUp;
        if (driver->Receive(bytes, &passedUp)) {
            ++result->FramesPassedUp;
            result->ReachedProtocols.push_back(PcapRecord{host->NowMilliseconds(), passedUp});
        } else {
            ++result->InboundDropped;
        }
    }
}

} // namespace

bool RunSystem(const std::string& capturePath, const SystemSettings& settings, const SystemLogListener& onLog,
               SystemResult* result, std::string* error) {
    std::vector<TimedFrame> frames;
    std::string captureError;
    const bool wholeCapture =
        ReadCapture(capturePath, settings.HostMac, &frames, &result->FramesSkipped, &captureError);
    if (!wholeCapture && frames.empty()) {
        *error = captureError;
        return false;
    }
    const int64_t firstMilliseconds = frames.empty() ? 0 : frames.front().TimeMilliseconds;
    const int64_t lastMilliseconds = frames.empty() ? 0 : frames.back().TimeMilliseconds;
    const int64_t startMilliseconds = std::max<int64_t>(firstMilliseconds - kLeadMilliseconds, 0);

    // Made before the host, so that it outlives the service's handle on its control device.
    SystemDriver driver;
    if (!driver.Start(settings.HostMac, error)) {
        return false;
    }
    {
        SimulatedHost host(settings.Root, startMilliseconds / 1000);
        host.SetGuardDeviceRoute(&driver);
        host.AddAdapter(SimulatedAdapter{kSystemAdapterName, settings.HostMac, FormatIpv4(settings.HostIp),
                                         FormatIpv4(settings.GatewayIp)});
        host.SetArpAnswer(settings.GatewayIp, settings.GatewayMac);
        host.SetStartedByServiceManager(true);
        LogFollower log(host.WindowsDirectory() + "/ZELKSrv.log", onLog, &result->LogLines);
        ServiceProcess process(&host);
        ProgramEntry(&process, "");

        RunFrames(frames, &driver, &host, &log, result);
        const int64_t endMilliseconds =
            std::max(lastMilliseconds, host.NowMilliseconds()) + kSystemTailMilliseconds;
        while (host.NowMilliseconds() < endMilliseconds) {
            host.AdvanceTo(std::min(host.NowMilliseconds() + kDrainMilliseconds, endMilliseconds));
            log.Follow();
        }
        host.Shutdown();
        log.Follow();

        for (const WireFrame& frame : host.WireFrames()) {
            result->Wire.push_back(PcapRecord{frame.TimeMilliseconds, frame.Bytes});
            result->CorrectionFrames.push_back(PcapRecord{frame.TimeMilliseconds, frame.Bytes});
        }
        std::stable_sort(
            result->Wire.begin(), result->Wire.end(),
            [](const PcapRecord& a, const PcapRecord& b) { return a.TimeMilliseconds < b.TimeMilliseconds; });
        result->EventFile = ReadWholeFile(host.WindowsDirectory() + "/ZELKSrv.evt");
        result->AgentRows = EventViewRows(result->EventFile);
    }
    if (!wholeCapture) {
        *error = captureError;
        return false;
    }
    return true;
}

} // namespace zelk
