// Capture files for tests: written with libpcap (pcap) or by hand (pcapng), in a folder of their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelk::test {

struct TestRecord {
    int64_t Seconds = 0;
    uint32_t Microseconds = 0;
    std::vector<uint8_t> Bytes;
};

// A folder under /tmp that is removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A pcap file of `linkType` holding `records`.
void WritePcap(const std::string& path, int linkType, const std::vector<TestRecord>& records);
// A pcapng file (one section, one interface of `linkType`, microsecond times) holding `records`.
void WritePcapng(const std::string& path, int linkType, const std::vector<TestRecord>& records);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace zelk::test
