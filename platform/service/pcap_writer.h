// A minimal capture file writer: the classic pcap format, Ethernet link type, microsecond stamps.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct PcapRecord {
    int64_t TimeMilliseconds; // since 1970
    std::vector<uint8_t> Bytes;
};

// Writes every record in order; false when the file cannot be written.
bool WritePcapFile(const std::string& path, const std::vector<PcapRecord>& records);
