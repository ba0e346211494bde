// ./zelk replay CAPTURE [options]: runs a capture through the guard and prints what it found.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/replay/capture_reader.h"
#include "tools/replay/replay_options.h"
#include "tools/replay/replay_report.h"
#include "tools/replay/replay_session.h"

using namespace zelk;

namespace {

const int kExitFailure = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "replay: %s\n", message.c_str());
    return kExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    ReplayOptions options;
    std::string error;
    if (!ParseReplayOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        return Fail(error + " (see --help)");
    }
    if (options.Help) {
        std::fputs(ReplayUsage(), stdout);
        return 0;
    }

    const std::string& path = options.CapturePath;
    const auto reader = CaptureReader::Open(path, &error);
    if (!reader) {
        return Fail("cannot read capture '" + path + "': " + error);
    }
    const auto linkType = CaptureLinkTypeFromNumber(reader->LinkType());
    if (!linkType) {
        return Fail("capture '" + path + "' has link type " +
                    CaptureReader::LinkTypeName(reader->LinkType()) +
                    "; only Ethernet and Linux cooked (LINUX_SLL, LINUX_SLL2) captures can be replayed");
    }

    ReplaySession session(options.Settings);
    CaptureRecord record;
    CaptureReadResult result;
    while ((result = reader->Next(&record, &error)) == CaptureReadResult::Record) {
        session.Offer(GuardTimeFromCaptureTime(record.Seconds, record.Nanoseconds), *linkType, record.Data,
                      record.Length);
    }
    session.Finish();

    const std::string report =
        options.Json ? FormatReplayJson(session.Result()) : FormatReplayText(session.Result());
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);
    if (result == CaptureReadResult::Truncated) {
        return Fail("capture '" + path + "' is truncated or damaged after frame " +
                    std::to_string(session.Result().Frames) + ": " + error);
    }
    return 0;
}
