#include "service/scenario/scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "service/host/service_host.h"

namespace zelk {
namespace {

class LineReader {
public:
    explicit LineReader(const std::string& line) : m_words(line) {}

    bool Word(std::string* word) { return static_cast<bool>(m_words >> *word); }
    bool Mac(MacAddress* mac) {
        std::string word;
        const std::optional<MacAddress> parsed = Word(&word) ? ParseMac(word) : std::nullopt;
        return parsed ? (*mac = *parsed, true) : false;
    }
    bool Ip(Ipv4Address* ip) {
        std::string word;
        const std::optional<Ipv4Address> parsed = Word(&word) ? ParseIpv4(word) : std::nullopt;
        return parsed ? (*ip = *parsed, true) : false;
    }
    bool Count(int64_t* value, int64_t min, int64_t max) {
        std::string word;
        if (!Word(&word)) {
            return false;
        }
        char* end = nullptr;
        const long long parsed = std::strtoll(word.c_str(), &end, 10);
        if (end == word.c_str() || *end != '\0' || parsed < min || parsed > max) {
            return false;
        }
        *value = parsed;
        return true;
    }
    // Seconds with an optional fraction, as milliseconds.
    bool Seconds(int64_t* milliseconds) {
        std::string word;
        if (!Word(&word)) {
            return false;
        }
        char* end = nullptr;
        const double parsed = std::strtod(word.c_str(), &end);
        if (end == word.c_str() || *end != '\0' || !(parsed >= 0) || parsed > 1e7) {
            return false;
        }
        *milliseconds = static_cast<int64_t>(std::llround(parsed * 1000));
        return true;
    }
    bool AtEnd() {
        std::string rest;
        return !(m_words >> rest);
    }

private:
    std::istringstream m_words;
};

bool ReadFrameFields(LineReader* reader, ArpFrameFields* fields) {
    std::string operation;
    if (!reader->Word(&operation) || (operation != "reply" && operation != "request")) {
        return false;
    }
    fields->Operation = operation == "reply" ? ArpOperation::Reply : ArpOperation::Request;
    if (!reader->Mac(&fields->SenderMac) || !reader->Ip(&fields->SenderIp) ||
        !reader->Mac(&fields->TargetMac) || !reader->Ip(&fields->TargetIp)) {
        return false;
    }
    if (fields->Operation == ArpOperation::Reply) {
        fields->EthernetDestination = fields->TargetMac;
    }
    return true;
}

bool ReadAt(LineReader* reader, Scenario* scenario, std::string* why) {
    int64_t at = 0;
    int64_t every = 0;
    int64_t times = 1;
    std::string word;
    if (!reader->Seconds(&at) || !reader->Word(&word)) {
        *why = "expected: at SECONDS ...";
        return false;
    }
    if (word == "every") {
        std::string timesWord;
        if (!reader->Seconds(&every) || !reader->Word(&timesWord) || timesWord != "times" ||
            !reader->Count(&times, 1, 100000) || !reader->Word(&word)) {
            *why = "expected: every SECONDS times N";
            return false;
        }
    }
    ScenarioFrame frame{};
    if (word == "scan") {
        ArpFrameFields fields;
        fields.Operation = ArpOperation::Request;
        Ipv4Address first{};
        int64_t count = 0;
        if (!reader->Word(&frame.Adapter) || !reader->Mac(&fields.SenderMac) ||
            !reader->Ip(&fields.SenderIp) || !reader->Ip(&first) || !reader->Count(&count, 1, 65536) ||
            !reader->AtEnd()) {
            *why = "expected: scan ADAPTER SENDER_MAC SENDER_IP FIRST_TARGET_IP COUNT";
            return false;
        }
        const uint32_t base = (uint32_t{first.Bytes[0]} << 24) | (uint32_t{first.Bytes[1]} << 16) |
                              (uint32_t{first.Bytes[2]} << 8) | first.Bytes[3];
        frame.Direction = GUARD_DIR_INBOUND;
        frame.AtMilliseconds = at;
        for (int64_t i = 0; i < count; ++i) {
            const uint32_t target = base + static_cast<uint32_t>(i);
            fields.TargetIp =
                Ipv4Address{{static_cast<uint8_t>(target >> 24), static_cast<uint8_t>(target >> 16),
                             static_cast<uint8_t>(target >> 8), static_cast<uint8_t>(target)}};
            frame.Bytes = BuildArpFrame(fields);
            scenario->Frames.push_back(frame);
        }
        return true;
    }
    if (word != "inbound" && word != "outbound") {
        *why = "expected inbound, outbound or scan, got '" + word + "'";
        return false;
    }
    frame.Direction = word == "inbound" ? GUARD_DIR_INBOUND : GUARD_DIR_OUTBOUND;
    ArpFrameFields fields;
    if (!reader->Word(&frame.Adapter) || !ReadFrameFields(reader, &fields)) {
        *why = "expected: ADAPTER reply|request SENDER_MAC SENDER_IP TARGET_MAC TARGET_IP";
        return false;
    }
    if (frame.Direction == GUARD_DIR_OUTBOUND) {
        int64_t processId = 0;
        if (!reader->Count(&processId, 0, INT64_MAX) || !reader->Word(&frame.ProcessName)) {
            *why = "an outbound frame names its sender: PID PROGRAM";
            return false;
        }
        frame.ProcessId = static_cast<uint64_t>(processId);
    }
    if (!reader->AtEnd()) {
        *why = "unexpected words at the end";
        return false;
    }
    frame.Bytes = BuildArpFrame(fields);
    for (int64_t i = 0; i < times; ++i) {
        frame.AtMilliseconds = at + i * every;
        scenario->Frames.push_back(frame);
    }
    return true;
}

bool ReadLine(const std::string& line, Scenario* scenario, std::string* why) {
    LineReader reader(line);
    std::string keyword;
    if (!reader.Word(&keyword)) {
        return true;
    }
    if (keyword == "start" || keyword == "duration") {
        int64_t value = 0;
        if (!reader.Count(&value, keyword == "start" ? 0 : 1, keyword == "start" ? 32535215999 : 10000000) ||
            !reader.AtEnd()) {
            *why = "expected: " + keyword + " SECONDS";
            return false;
        }
        (keyword == "start" ? scenario->StartSeconds : scenario->DurationSeconds) = value;
        return true;
    }
    if (keyword == "adapter") {
        SimulatedAdapter adapter;
        if (!reader.Word(&adapter.Name) || !reader.Mac(&adapter.Mac) || !reader.Word(&adapter.IpText) ||
            !reader.Word(&adapter.GatewayText) || !reader.AtEnd()) {
            *why = "expected: adapter NAME MAC IP GATEWAY";
            return false;
        }
        for (std::string* text : {&adapter.IpText, &adapter.GatewayText}) {
            if (*text == "-") {
                text->clear();
            } else if (!ParseIpv4(*text)) {
                *why = "not an IPv4 address: '" + *text + "'";
                return false;
            }
        }
        scenario->Adapters.push_back(adapter);
        return true;
    }
    if (keyword == "arp") {
        ScenarioArpAnswer answer{};
        if (!reader.Ip(&answer.Ip) || !reader.Mac(&answer.Mac) || !reader.AtEnd()) {
            *why = "expected: arp IP MAC";
            return false;
        }
        scenario->ArpAnswers.push_back(answer);
        return true;
    }
    if (keyword == "at") {
        return ReadAt(&reader, scenario, why);
    }
    *why = "unknown item '" + keyword + "'";
    return false;
}

} // namespace

bool ParseScenario(const std::string& text, Scenario* scenario, std::string* error) {
    Scenario parsed;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const size_t comment = line.find('#');
        if (comment != std::string::npos) {
            line.erase(comment);
        }
        std::string why;
        if (!ReadLine(line, &parsed, &why)) {
            *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    if (parsed.DurationSeconds == 0) {
        *error = "no duration given";
        return false;
    }
    *scenario = parsed;
    return true;
}

ScenarioOutcome RunScenario(const Scenario& scenario, const std::string& root) {
    ScenarioOutcome outcome;
    SimulatedHost host(root, scenario.StartSeconds);
    for (const SimulatedAdapter& adapter : scenario.Adapters) {
        host.AddAdapter(adapter);
    }
    for (const ScenarioArpAnswer& answer : scenario.ArpAnswers) {
        host.SetArpAnswer(answer.Ip, answer.Mac);
    }
    // Started by the service control manager: the worker empties the event file, then polls.
    host.SetStartedByServiceManager(true);
    ServiceProcess process(&host);
    ProgramEntry(&process, "");

    std::vector<ScenarioFrame> frames = scenario.Frames;
    std::stable_sort(frames.begin(), frames.end(), [](const ScenarioFrame& a, const ScenarioFrame& b) {
        return a.AtMilliseconds < b.AtMilliseconds;
    });
    const int64_t startMilliseconds = scenario.StartSeconds * 1000;
    const int64_t endMilliseconds = startMilliseconds + scenario.DurationSeconds * 1000;
    for (const ScenarioFrame& frame : frames) {
        if (startMilliseconds + frame.AtMilliseconds > endMilliseconds) {
            break;
        }
        host.AdvanceTo(startMilliseconds + frame.AtMilliseconds);
        ++outcome.FramesFed;
        if (host.FeedFrame(frame.Adapter, frame.Bytes.data(), static_cast<uint32_t>(frame.Bytes.size()),
                           frame.Direction, frame.ProcessId, frame.ProcessName) == GUARD_DROP) {
            ++outcome.FramesDropped;
        }
    }
    host.AdvanceTo(endMilliseconds);
    host.Shutdown();
    outcome.CorrectionFrames = host.WireFrames();
    return outcome;
}

} // namespace zelk
