// Reading capture files (pcap and pcapng) with libpcap, record by record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace zelk {

struct CaptureRecord {
    int64_t Seconds = 0;      // capture time since 1970-01-01 00:00 UTC
    uint32_t Nanoseconds = 0; // within that second
    const uint8_t* Data = nullptr;
    uint32_t Length = 0; // bytes captured (a frame cut by the snapshot length keeps only these)
};

enum class CaptureReadResult { Record, End, Truncated };

class CaptureReader {
public:
    // Opens the capture at `path`; null, with `error` set, when it is missing, unreadable or not a capture.
    static std::unique_ptr<CaptureReader> Open(const std::string& path, std::string* error);
    // Reads a capture from an open stream, which the reader then owns and closes.
    static std::unique_ptr<CaptureReader> OpenStream(FILE* stream, std::string* error);
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // The capture's link type number (1 Ethernet, 113 Linux cooked, 276 Linux cooked v2, ...).
    int LinkType() const;
    // The name of a link type number, as capture tools print it ("EN10MB"), or the number itself.
    static std::string LinkTypeName(int linkType);

    // The next record; its data stay valid until the next call. Truncated, with `error` set, when the
    // file ends inside a record.
    CaptureReadResult Next(CaptureRecord* record, std::string* error);

private:
    struct Handle;
    explicit CaptureReader(Handle* handle);
    Handle* m_handle;
};

} // namespace zelk
