// Fuzzes the frame analysis as the replay drives it: arbitrary records of each link type, in both
// directions, through rebuilding, the guard, the drains and both reports.
#include <cstddef>
#include <cstdint>

#include "tools/frames/arp_frame.h"
#include "tools/replay/replay_report.h"
#include "tools/replay/replay_session.h"

using namespace zelk;

namespace {

const CaptureLinkType kLinkTypes[] = {CaptureLinkType::Ethernet, CaptureLinkType::LinuxCooked,
                                      CaptureLinkType::LinuxCooked2};
// 2011-03-25 20:35:37 UTC, as the guard's clock counts.
const uint64_t kStart = 129455589370000000ull;

} // namespace

// Input: one byte for the link type, then records, each a byte of clock step (in tenths of a second),
// a byte of length and that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const CaptureLinkType type = kLinkTypes[data[0] % 3];
    ReplaySettings settings;
    settings.HostMac = Mac("02:5a:00:00:07:64");
    settings.Bindings = {{Ip("10.250.7.1"), Mac("02:5a:00:00:07:01")},
                         {Ip("0.0.0.0"), Mac("02:5a:00:00:07:02")}};
    settings.Process = ReplayProcess{"fuzz.exe", 77};
    ReplaySession session(settings);

    uint64_t time = kStart;
    size_t position = 1;
    while (position + 2 <= size) {
        time += data[position] * 1000000ull;
        const size_t wanted = data[position + 1];
        position += 2;
        const size_t length = wanted < size - position ? wanted : size - position;
        session.Offer(time, type, data + position, length);
        position += length;
    }
    session.Finish();
    FormatReplayText(session.Result());
    FormatReplayJson(session.Result());
    return 0;
}
