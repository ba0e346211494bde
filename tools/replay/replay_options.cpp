#include "tools/replay/replay_options.h"

#include <cerrno>
#include <cstdlib>

#include "tools/frames/arp_frame.h"

namespace zelk {

namespace {

bool ParseBinding(const std::string& text, ArpBinding* binding, std::string* error) {
    const size_t equals = text.find('=');
    const auto ip =
        equals == std::string::npos ? std::nullopt : ParseIpv4(std::string_view(text).substr(0, equals));
    const auto mac =
        equals == std::string::npos ? std::nullopt : ParseMac(std::string_view(text).substr(equals + 1));
    if (!ip || !mac) {
        *error = "bad binding '" + text + "': expected IP=MAC, as 192.168.1.1=00:50:56:c0:00:01";
        return false;
    }
    *binding = {*ip, *mac};
    return true;
}

bool ParseProcess(const std::string& text, ReplayProcess* process, std::string* error) {
    const size_t colon = text.rfind(':');
    const std::string digits = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const unsigned long long id = digits.empty() ? 0 : std::strtoull(digits.c_str(), &end, 10);
    if (colon == 0 || colon == std::string::npos || digits.empty() || digits[0] < '0' || digits[0] > '9' ||
        *end != '\0' || errno == ERANGE) {
        *error = "bad process '" + text + "': expected NAME:PID, as arpspoof:4242";
        return false;
    }
    *process = {text.substr(0, colon), id};
    return true;
}

} // namespace

bool ParseReplayOptions(const std::vector<std::string>& arguments, ReplayOptions* options,
                        std::string* error) {
    *options = ReplayOptions{};
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        const size_t equals = option.find('=');
        const bool inlineValue = option.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inlineValue) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
        }
        const bool takesValue = option == "--host-mac" || option == "--binding" || option == "--process";
        if (inlineValue && !takesValue) {
            *error = "option " + option + " takes no value";
            return false;
        }
        if (takesValue && !inlineValue) {
            if (i + 1 == arguments.size()) {
                *error = "option " + option + " needs a value";
                return false;
            }
            value = arguments[++i];
        }

        if (option == "--help" || option == "-h") {
            options->Help = true;
        } else if (option == "--json") {
            options->Json = true;
        } else if (option == "--host-mac") {
            const auto mac = ParseMac(value);
            if (!mac) {
                *error = "bad MAC address '" + value + "': expected six hex pairs, as 00:1a:2b:3c:4d:5e";
                return false;
            }
            options->Settings.HostMac = *mac;
        } else if (option == "--binding") {
            ArpBinding binding;
            if (!ParseBinding(value, &binding, error)) {
                return false;
            }
            options->Settings.Bindings.push_back(binding);
        } else if (option == "--process") {
            ReplayProcess process;
            if (!ParseProcess(value, &process, error)) {
                return false;
            }
            options->Settings.Process = process;
        } else if (option.size() > 1 && option[0] == '-') {
            *error = "unknown option '" + arguments[i] + "'";
            return false;
        } else if (!options->CapturePath.empty()) {
            *error = "one capture at a time: '" + options->CapturePath + "' and '" + option + "'";
            return false;
        } else {
            options->CapturePath = option;
        }
    }
    if (options->CapturePath.empty() && !options->Help) {
        *error = "no capture file given";
        return false;
    }
    return true;
}

const char* ReplayUsage() {
    return R"(usage: ./zelk replay CAPTURE [--host-mac MAC] [--binding IP=MAC]... [--process NAME:PID] [--json]

Runs every frame of CAPTURE (pcap or pcapng) through the ARP guard exactly as the driver would, and
drains its findings as the service does.

  CAPTURE             an Ethernet capture, or a Linux cooked capture (LINUX_SLL or LINUX_SLL2, as
                      `tcpdump -i any` writes them)
  --host-mac MAC      the protected host's adapter address (00:1a:2b:3c:4d:5e or 00-1A-2B-3C-4D-5E);
                      the guard compares sent frames with it. Without it the address is unknown (all
                      zero) and, in an Ethernet capture, every frame counts as received.
  --binding IP=MAC    a trusted binding, as the service pushes them (one per gateway); repeatable
  --process NAME:PID  the program that is current while outbound frames are sent; without it there
                      is no current process (id 0, no name)
  --json              print one JSON document instead of text
  -h, --help          this text

Direction: a cooked capture records whether the host sent a frame (packet type "outgoing"); the
Ethernet frame is rebuilt from the cooked header's source address and protocol and the payload (its
destination is left all zero: the guard never reads it), and records of other device types are
counted but not inspected. In an Ethernet capture a frame whose source is --host-mac is outbound,
every other frame inbound.

Time: the guard's clock is each frame's capture time. Events are drained whenever capture time passes
a whole second, and once more at the end.

Output: one line per dropped frame ("frame N inbound|outbound dropped: reason", N counted from 1),
then every drained event as the service's log line (in the local time zone; set TZ to choose), then
a summary: frames, ARP frames, drops by direction, events by kind.

--json: {"frames": n, "arp_frames": n, "dropped": {"inbound": n, "outbound": n},
  "drops": [{"frame": n, "direction": "inbound"|"outbound", "reason": "..."}...],
  "events": [{"kind": k, "time": t, "mac": "00-1A-2B-3C-4D-5E", "ip": "192.168.1.10",
              "process_id": n, "process_name": "...", "line": "[2][...] ...",
              "frame": n, "direction": "inbound"|"outbound"}...]}
  "time" is the event's raw Time (100 ns units since 1601, UTC); an event's "frame" and "direction"
  are those of the frame that stored it (later findings of its sort merge into it until the drain).

Exit status: 0 when the capture was replayed; 2, with one line on stderr, for a bad argument, a
missing or unreadable file, a link type other than Ethernet or Linux cooked, or a truncated capture
(the frames read before the cut are still reported).
)";
}

} // namespace zelk
