// Fuzzes the reading of capture files (pcap and pcapng, through libpcap) and the replay of whatever
// records come out, as `./zelk replay` does with a file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/replay/capture_reader.h"
#include "tools/replay/replay_report.h"
#include "tools/replay/replay_session.h"

using namespace zelk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // fmemopen wants a writable buffer even for reading.
    std::vector<uint8_t> bytes(data, data + size);
    FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
    if (stream == nullptr) {
        return 0;
    }
    std::string error;
    const auto reader = CaptureReader::OpenStream(stream, &error);
    if (!reader) {
        return 0;
    }
    const auto linkType = CaptureLinkTypeFromNumber(reader->LinkType());
    CaptureReader::LinkTypeName(reader->LinkType());
    ReplaySession session(ReplaySettings{});
    CaptureRecord record;
    while (reader->Next(&record, &error) == CaptureReadResult::Record) {
        if (linkType) {
            session.Offer(GuardTimeFromCaptureTime(record.Seconds, record.Nanoseconds), *linkType,
                          record.Data, record.Length);
        }
    }
    session.Finish();
    FormatReplayJson(session.Result());
    return 0;
}
