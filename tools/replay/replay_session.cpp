#include "tools/replay/replay_session.h"

#include <cstring>
#include <limits>

#include "driver/guard/guard_dispatch.h"
#include "driver/guard/guard_tables.h"
#include "service/files/event_line.h"
#include "tools/frames/arp_frame.h"

namespace zelk {

namespace {

const uint64_t kTicksPerSecond = 10000000;
const int64_t kSecondsFrom1601To1970 = 11644473600;

uint32_t Control(uint32_t code, void* buffer, uint32_t inLength, uint32_t outLength, uint64_t* returned) {
    GuardRequest request{};
    request.MajorFunction = GUARD_IRP_MJ_DEVICE_CONTROL;
    request.IoControlCode = code;
    request.SystemBuffer = buffer;
    request.InputBufferLength = inLength;
    request.OutputBufferLength = outLength;
    const uint32_t status = GuardDeviceDispatch(nullptr, &request);
    *returned = request.Information;
    return status;
}

MacAddress MacAt(const uint8_t* bytes) {
    MacAddress mac;
    std::memcpy(mac.Bytes, bytes, sizeof(mac.Bytes));
    return mac;
}

Ipv4Address IpAt(const uint8_t* bytes) {
    Ipv4Address ip;
    std::memcpy(ip.Bytes, bytes, sizeof(ip.Bytes));
    return ip;
}

} // namespace

uint64_t GuardTimeFromCaptureTime(int64_t seconds, uint32_t nanoseconds) {
    if (seconds < -kSecondsFrom1601To1970) {
        return 0;
    }
    // In unsigned arithmetic: a negative `seconds` wraps back into range, the largest ones cannot overflow.
    const uint64_t since1601 = static_cast<uint64_t>(seconds) + static_cast<uint64_t>(kSecondsFrom1601To1970);
    const uint64_t ticks = nanoseconds / 100u;
    if (since1601 > (std::numeric_limits<uint64_t>::max() - ticks) / kTicksPerSecond) {
        return std::numeric_limits<uint64_t>::max();
    }
    return since1601 * kTicksPerSecond + ticks;
}

ReplaySession::ReplaySession(const ReplaySettings& settings) : m_settings(settings) {
    // The image-name offset is found in the System process, as during driver entry.
    GuardHostResetCurrentProcessForTest();
    GuardInitialize();
    GuardSetLastSpooferForTest(0);
    GuardPublishLocalMac(&m_localMac, m_settings.HostMac.Bytes);
    if (m_settings.Process) {
        const std::string& name = m_settings.Process->Name;
        GuardHostMakeProcess(&m_process, m_settings.Process->Id, name.c_str(), name.size());
    }
    // The service never pushes an empty list.
    if (!m_settings.Bindings.empty()) {
        uint64_t returned = 0;
        Control(IOCTL_ZELKARP_SET_BINDINGS, m_settings.Bindings.data(),
                static_cast<uint32_t>(m_settings.Bindings.size() * sizeof(ArpBinding)), 0, &returned);
    }
}

ReplaySession::~ReplaySession() {
    GuardTablesFree();
    GuardSetLastSpooferForTest(0);
    GuardHostResetCurrentProcessForTest();
}

void ReplaySession::Offer(uint64_t time, CaptureLinkType type, const uint8_t* data, size_t length) {
    if (m_anyFrame && time / kTicksPerSecond > m_lastTime / kTicksPerSecond) {
        Drain();
    }
    m_anyFrame = true;
    m_lastTime = time;
    const uint64_t frameNumber = ++m_result.Frames;
    if (!RebuildEthernetFrame(type, data, length, m_settings.HostMac, &m_frame) ||
        m_frame.Bytes.size() > std::numeric_limits<uint32_t>::max()) {
        return;
    }
    const uint32_t frameLength = static_cast<uint32_t>(m_frame.Bytes.size());
    if (GuardIsArpFrame(m_frame.Bytes.data(), frameLength)) {
        ++m_result.ArpFrames;
    }

    GuardHostSetTimeForTest(time);
    if (m_frame.Direction == GUARD_DIR_OUTBOUND) {
        GuardHostSetCurrentProcessForTest(m_settings.Process ? &m_process : nullptr);
    } else {
        GuardHostResetCurrentProcessForTest();
    }
    const uint64_t spooferBefore = GuardLastSpooferMac();
    const uint32_t pendingBefore = EventTableCountForTest();
    const GuardVerdict verdict =
        ArpGuardInspect(&m_localMac, m_frame.Bytes.data(), frameLength, m_frame.Direction);
    const uint32_t pendingAfter = EventTableCountForTest();
    for (uint32_t i = pendingBefore; i < pendingAfter; ++i) {
        ReplayEvent origin;
        origin.Frame = frameNumber;
        origin.Direction = m_frame.Direction;
        m_pending.push_back(origin);
    }
    if (verdict != GUARD_DROP) {
        return;
    }
    ++(m_frame.Direction == GUARD_DIR_INBOUND ? m_result.DroppedInbound : m_result.DroppedOutbound);
    m_result.Drops.push_back({frameNumber, m_frame.Direction, DescribeDrop(m_frame, spooferBefore)});
}

void ReplaySession::Finish() {
    Drain();
}

void ReplaySession::Drain() {
    // Room for every pending record, as the service's buffer always has; nothing pending, nothing to read.
    const uint32_t pending = EventTableCountForTest();
    if (pending == 0) {
        return;
    }
    m_drainBuffer.resize(pending);
    const uint32_t room = pending * GUARD_EVENT_SIZE;
    uint64_t returned = 0;
    if (Control(IOCTL_ZELKARP_READ_EVENTS, m_drainBuffer.data(), room, room, &returned) !=
        GUARD_STATUS_SUCCESS) {
        return;
    }
    const size_t count = returned / GUARD_EVENT_SIZE;
    for (size_t i = 0; i < count; ++i) {
        ReplayEvent event = i < m_pending.size() ? m_pending[i] : ReplayEvent{};
        event.Record = m_drainBuffer[i];
        char line[EVENT_LINE_BUFFER_SIZE];
        FormatEventLineForRecord(event.Record, line, sizeof(line));
        event.Line = line;
        m_result.Events.push_back(event);
    }
    m_pending.clear();
}

std::string ReplaySession::DescribeDrop(const ReplayFrame& frame, uint64_t spooferBefore) const {
    const uint8_t* bytes = frame.Bytes.data();
    const MacAddress source = MacAt(bytes + 6);
    const MacAddress senderMac = MacAt(bytes + 22);
    const Ipv4Address senderIp = IpAt(bytes + 28);
    const std::string trustedAt = [&] {
        for (const ArpBinding& binding : m_settings.Bindings) {
            if (Ipv4Equal(&binding.Ip, &senderIp) && !MacEqual(&binding.Mac, &senderMac)) {
                return ", trusted at " + FormatMac(binding.Mac);
            }
        }
        return std::string();
    }();

    if (frame.Direction == GUARD_DIR_INBOUND) {
        if (MacToValue(&senderMac) == spooferBefore) {
            return "sender " + FormatMac(senderMac) + " was caught spoofing before";
        }
        return FormatIpv4(senderIp) + " claimed by " + FormatMac(senderMac) + trustedAt;
    }
    const MacAddress& own = m_settings.HostMac;
    const bool forged = (!MacIsZero(&own) && (!MacEqual(&source, &own) || !MacEqual(&senderMac, &own))) ||
                        !MacEqual(&source, &senderMac);
    if (forged) {
        return "forged sender " + FormatMac(senderMac) + " behind Ethernet source " + FormatMac(source) +
               (MacIsZero(&own) ? ", adapter address unknown" : ", adapter " + FormatMac(own));
    }
    return "claims " + FormatIpv4(senderIp) + " for " + FormatMac(senderMac) + trustedAt;
}

} // namespace zelk
