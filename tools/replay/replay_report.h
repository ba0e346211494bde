// What a replay found, as text for a reader or as one JSON document for other programs.
#pragma once

#include <string>

#include "tools/replay/replay_session.h"

namespace zelk {

// One line per dropped frame, then each drained event as the service's log line, then a summary.
std::string FormatReplayText(const ReplayResult& result);

// {"frames", "arp_frames", "dropped": {"inbound", "outbound"}, "drops": [{"frame", "direction", "reason"}],
//  "events": [{"kind", "time", "mac", "ip", "process_id", "process_name", "line", "frame", "direction"}]}
std::string FormatReplayJson(const ReplayResult& result);

// `text` as a JSON string, quotes included; bytes above 127 are taken as the code points of the same value.
std::string JsonString(const std::string& text);

} // namespace zelk
