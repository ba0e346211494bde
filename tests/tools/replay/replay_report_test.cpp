#include "tools/replay/replay_report.h"

#include <gtest/gtest.h>

#include "tools/frames/arp_frame.h"

namespace zelk {
namespace {

ReplayResult SmallResult() {
    ReplayResult result;
    result.Frames = 3;
    result.ArpFrames = 2;
    result.DroppedOutbound = 1;
    result.Drops.push_back({3, GUARD_DIR_OUTBOUND, "claims \"x\""});
    ReplayEvent event;
    event.Record.Kind = GUARD_EVENT_ARP_SCAN;
    event.Record.Time = 129455589370000000ull;
    event.Record.Mac = Mac("02:5a:00:00:07:64");
    event.Record.Ip = Ip("10.250.7.100");
    event.Record.ProcessId = 18446744073709551615ull;
    const char name[] = "ARP\xE9SCAN";
    for (size_t i = 0; i + 1 < sizeof(name); ++i) {
        event.Record.ProcessName[i] = static_cast<uint8_t>(name[i]);
    }
    event.Frame = 2;
    event.Direction = GUARD_DIR_OUTBOUND;
    event.Line =
        "[1][2011/03/25 20:35:37] Program ARP\xE9SCAN (PID=18446744073709551615) use ARP SCAN network.";
    result.Events.push_back(event);
    return result;
}

TEST(ReplayReportTest, JsonHasTheDocumentedKeysAndEscapes) {
    EXPECT_EQ(
        FormatReplayJson(SmallResult()),
        "{\"frames\": 3, \"arp_frames\": 2, \"dropped\": {\"inbound\": 0, \"outbound\": 1},\n"
        " \"drops\": [\n"
        "  {\"frame\": 3, \"direction\": \"outbound\", \"reason\": \"claims \\\"x\\\"\"}],\n"
        " \"events\": [\n"
        "  {\"kind\": 3, \"time\": 129455589370000000, \"mac\": \"02-5A-00-00-07-64\", \"ip\": "
        "\"10.250.7.100\", "
        "\"process_id\": 18446744073709551615, \"process_name\": \"ARP\\u00E9SCAN\", \"line\": "
        "\"[1][2011/03/25 "
        "20:35:37] Program ARP\\u00E9SCAN (PID=18446744073709551615) use ARP SCAN network.\", \"frame\": 2, "
        "\"direction\": \"outbound\"}]}\n");
}

TEST(ReplayReportTest, JsonOfNothingIsStillADocument) {
    EXPECT_EQ(FormatReplayJson(ReplayResult{}),
              "{\"frames\": 0, \"arp_frames\": 0, \"dropped\": {\"inbound\": 0, \"outbound\": 0},\n"
              " \"drops\": [],\n \"events\": []}\n");
}

TEST(ReplayReportTest, TextListsDropsLinesAndSummary) {
    EXPECT_EQ(
        FormatReplayText(SmallResult()),
        "frame 3 outbound dropped: claims \"x\"\n"
        "[1][2011/03/25 20:35:37] Program ARP\xE9SCAN (PID=18446744073709551615) use ARP SCAN network.\n"
        "3 frames, 2 ARP frames; dropped 0 inbound, 1 outbound; events: 0 local spoofing (kind 1), 0 inbound "
        "spoofing (kind 2), 1 ARP scan (kind 3)\n");
}

TEST(JsonStringTest, EscapesQuotesBackslashesAndControlBytes) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01\x7F"), "\"a\\\"b\\\\c\\u000A\\u0001\\u007F\"");
}

} // namespace
} // namespace zelk
