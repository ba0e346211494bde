#include "tests/tools/replay/replay_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <regex>

#include "tests/tools/replay/capture_files.h"

namespace zelk::test {

namespace {

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

CommandResult RunReplay(const std::vector<std::string>& arguments) {
    TempFolder folder;
    std::string command = "TZ=UTC " + Quoted(ZELK_REPLAY_BINARY);
    for (const std::string& argument : arguments) {
        command += " " + Quoted(argument);
    }
    command += " >" + Quoted(folder.Path("out")) + " 2>" + Quoted(folder.Path("err"));
    const int status = std::system(command.c_str());
    CommandResult result;
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = ReadText(folder.Path("out"));
    result.Err = ReadText(folder.Path("err"));
    return result;
}

JsonReplay ParseReplayJson(const std::string& json) {
    JsonReplay replay;
    std::smatch match;
    if (std::regex_search(
            json, match,
            std::regex(R"re(\{"frames": (\d+), "arp_frames": (\d+), "dropped": \{"inbound": (\d+), )re"
                       R"re("outbound": (\d+)\})re"))) {
        replay.Frames = std::stoull(match[1]);
        replay.ArpFrames = std::stoull(match[2]);
        replay.DroppedInbound = std::stoull(match[3]);
        replay.DroppedOutbound = std::stoull(match[4]);
    }
    const std::regex drop(R"re(\{"frame": (\d+), "direction": "(\w+)", "reason": "[^"]*"\})re");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), drop); it != std::sregex_iterator(); ++it) {
        replay.Drops.push_back({std::stoull((*it)[1]), (*it)[2]});
    }
    const std::regex event(R"re(\{"kind": (\d+), "time": (\d+), "mac": "([^"]*)", "ip": "([^"]*)", )re"
                           R"re("process_id": (\d+), "process_name": "([^"]*)", "line": "([^"]*)", )re"
                           R"re("frame": (\d+), "direction": "(\w+)"\})re");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), event); it != std::sregex_iterator();
         ++it) {
        const std::smatch& m = *it;
        replay.Events.push_back({std::stoi(m[1]), std::stoull(m[2]), m[3], m[4], std::stoull(m[5]), m[6],
                                 m[7], std::stoull(m[8]), m[9]});
    }
    return replay;
}

} // namespace zelk::test
