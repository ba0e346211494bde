// Runs captured frames through the guard exactly as the driver would, and drains the findings as the
// service does: the guard's clock is each frame's capture time, and events are drained whenever capture
// time passes a whole second, and once more at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/zelk_records.h"
#include "driver/guard/arp_guard.h"
#include "platform/kernel/guard_host_control.h"
#include "tools/replay/replay_frame.h"

namespace zelk {

// The local program that sends the outbound frames, as the guard would find it current.
struct ReplayProcess {
    std::string Name;
    uint64_t Id = 0;
};

struct ReplaySettings {
    MacAddress HostMac{};                 // the adapter's own address; all zero while unknown
    std::vector<ArpBinding> Bindings;     // the trusted bindings, pushed as the service pushes them
    std::optional<ReplayProcess> Process; // none: outbound frames are sent with no current process
};

struct ReplayDrop {
    uint64_t Frame = 0; // counted from 1, as capture tools count them
    GuardDirection Direction = GUARD_DIR_INBOUND;
    std::string Reason;
};

struct ReplayEvent {
    GuardEvent Record{};
    uint64_t Frame = 0; // the frame that stored the record; later findings of its sort may have merged in
    GuardDirection Direction = GUARD_DIR_INBOUND; // that frame's direction
    std::string Line;                             // the service's log line for the record
};

struct ReplayResult {
    uint64_t Frames = 0;
    uint64_t ArpFrames = 0;
    uint64_t DroppedInbound = 0;
    uint64_t DroppedOutbound = 0;
    std::vector<ReplayDrop> Drops;
    std::vector<ReplayEvent> Events; // in the order drained
};

// A capture time (seconds and nanoseconds since 1970) as the guard's clock counts: 100 ns units since
// 1601. Times before 1601 give 0; times beyond the clock's range give its last value.
uint64_t GuardTimeFromCaptureTime(int64_t seconds, uint32_t nanoseconds);

// The guard's tables and its caught spoofer are one per process, and so is a session: it initialises
// the guard when made and frees its tables when destroyed.
class ReplaySession {
public:
    explicit ReplaySession(const ReplaySettings& settings);
    ~ReplaySession();
    ReplaySession(const ReplaySession&) = delete;
    ReplaySession& operator=(const ReplaySession&) = delete;

    // Offers the next captured record, captured at guard time `time`.
    void Offer(uint64_t time, CaptureLinkType type, const uint8_t* data, size_t length);
    // Drains what is still pending, as the service's next cycle would.
    void Finish();
    const ReplayResult& Result() const { return m_result; }

private:
    void Drain();
    std::string DescribeDrop(const ReplayFrame& frame, uint64_t spooferBefore) const;

    ReplaySettings m_settings;
    GuardLocalMac m_localMac{};
    GuardHostProcess m_process{};
    bool m_anyFrame = false;
    uint64_t m_lastTime = 0;
    ReplayFrame m_frame;
    // The frame and direction of each pending record, in table order.
    std::vector<ReplayEvent> m_pending;
    std::vector<GuardEvent> m_drainBuffer;
    ReplayResult m_result;
};

} // namespace zelk
