// Runs the replay command and reads its JSON document back, for tests of the command as users run it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelk::test {

struct CommandResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

// Runs the built replay command with `arguments`, in the local time zone UTC.
CommandResult RunReplay(const std::vector<std::string>& arguments);

struct JsonDrop {
    uint64_t Frame = 0;
    std::string Direction;
};

struct JsonEvent {
    int Kind = 0;
    uint64_t Time = 0;
    std::string Mac;
    std::string Ip;
    uint64_t ProcessId = 0;
    std::string ProcessName;
    std::string Line;
    uint64_t Frame = 0;
    std::string Direction;
};

struct JsonReplay {
    uint64_t Frames = 0;
    uint64_t ArpFrames = 0;
    uint64_t DroppedInbound = 0;
    uint64_t DroppedOutbound = 0;
    std::vector<JsonDrop> Drops;
    std::vector<JsonEvent> Events;
};

// Reads the document the command prints with --json; fields it does not find stay at their defaults.
JsonReplay ParseReplayJson(const std::string& json);

} // namespace zelk::test
