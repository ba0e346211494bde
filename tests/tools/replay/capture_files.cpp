#include "tests/tools/replay/capture_files.h"

#include <pcap/pcap.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zelk::test {

TempFolder::TempFolder() {
    char pattern[] = "/tmp/zelk-replay-test.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void WritePcap(const std::string& path, int linkType, const std::vector<TestRecord>& records) {
    pcap_t* pcap = pcap_open_dead(linkType, 262144);
    pcap_dumper_t* dumper = pcap_dump_open(pcap, path.c_str());
    if (dumper == nullptr) {
        pcap_close(pcap);
        throw std::runtime_error("cannot write " + path);
    }
    for (const TestRecord& record : records) {
        pcap_pkthdr header{};
        header.ts.tv_sec = static_cast<time_t>(record.Seconds);
        header.ts.tv_usec = static_cast<suseconds_t>(record.Microseconds);
        header.caplen = static_cast<bpf_u_int32>(record.Bytes.size());
        header.len = header.caplen;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, record.Bytes.data());
    }
    pcap_dump_close(dumper);
    pcap_close(pcap);
}

namespace {

void Put32(std::vector<uint8_t>* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void Put16(std::vector<uint8_t>* bytes, uint16_t value) {
    bytes->push_back(static_cast<uint8_t>(value));
    bytes->push_back(static_cast<uint8_t>(value >> 8));
}

// One block: type, total length, body padded to 4 bytes, total length again.
void PutBlock(std::vector<uint8_t>* file, uint32_t type, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> padded = body;
    padded.resize((body.size() + 3) / 4 * 4, 0);
    const auto total = static_cast<uint32_t>(padded.size() + 12);
    Put32(file, type);
    Put32(file, total);
    file->insert(file->end(), padded.begin(), padded.end());
    Put32(file, total);
}

} // namespace

void WritePcapng(const std::string& path, int linkType, const std::vector<TestRecord>& records) {
    std::vector<uint8_t> file;
    std::vector<uint8_t> section;
    Put32(&section, 0x1A2B3C4D); // byte-order magic
    Put16(&section, 1);          // version 1.0
    Put16(&section, 0);
    Put32(&section, 0xFFFFFFFF); // section length unknown
    Put32(&section, 0xFFFFFFFF);
    PutBlock(&file, 0x0A0D0D0A, section);

    std::vector<uint8_t> interface;
    Put16(&interface, static_cast<uint16_t>(linkType));
    Put16(&interface, 0);
    Put32(&interface, 262144); // snapshot length
    PutBlock(&file, 0x00000001, interface);

    for (const TestRecord& record : records) {
        const uint64_t micros = static_cast<uint64_t>(record.Seconds) * 1000000u + record.Microseconds;
        std::vector<uint8_t> packet;
        Put32(&packet, 0); // interface 0
        Put32(&packet, static_cast<uint32_t>(micros >> 32));
        Put32(&packet, static_cast<uint32_t>(micros));
        Put32(&packet, static_cast<uint32_t>(record.Bytes.size()));
        Put32(&packet, static_cast<uint32_t>(record.Bytes.size()));
        packet.insert(packet.end(), record.Bytes.begin(), record.Bytes.end());
        PutBlock(&file, 0x00000006, packet);
    }
    WriteBytes(path, file);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace zelk::test
