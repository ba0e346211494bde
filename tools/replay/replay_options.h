// The replay command's arguments.
#pragma once

#include <string>
#include <vector>

#include "tools/replay/replay_session.h"

namespace zelk {

struct ReplayOptions {
    std::string CapturePath;
    ReplaySettings Settings;
    bool Json = false;
    bool Help = false;
};

// Parses the arguments that follow the command name. False, with a one-line `error`, on an unknown
// option, a missing or malformed value, or a capture named twice or not at all (unless help is asked).
bool ParseReplayOptions(const std::vector<std::string>& arguments, ReplayOptions* options,
                        std::string* error);

// The --help text.
const char* ReplayUsage();

} // namespace zelk
