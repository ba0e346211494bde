#include "platform/service/pcap_writer.h"

#include <stdio.h>

namespace {

const uint32_t kMagic = 0xA1B2C3D4u;
const uint32_t kSnapLength = 65535;
const uint32_t kLinkTypeEthernet = 1;

void PutLe16(std::vector<uint8_t>* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(std::vector<uint8_t>* out, uint32_t value) {
    PutLe16(out, static_cast<uint16_t>(value));
    PutLe16(out, static_cast<uint16_t>(value >> 16));
}

} // namespace

bool WritePcapFile(const std::string& path, const std::vector<PcapRecord>& records) {
    std::vector<uint8_t> bytes;
    PutLe32(&bytes, kMagic);
    PutLe16(&bytes, 2); // version 2.4
    PutLe16(&bytes, 4);
    PutLe32(&bytes, 0); // time zone offset
    PutLe32(&bytes, 0); // accuracy
    PutLe32(&bytes, kSnapLength);
    PutLe32(&bytes, kLinkTypeEthernet);
    for (const PcapRecord& record : records) {
        const int64_t milliseconds = record.TimeMilliseconds < 0 ? 0 : record.TimeMilliseconds;
        const uint32_t length = static_cast<uint32_t>(record.Bytes.size());
        PutLe32(&bytes, static_cast<uint32_t>(milliseconds / 1000));
        PutLe32(&bytes, static_cast<uint32_t>(milliseconds % 1000) * 1000u);
        PutLe32(&bytes, length);
        PutLe32(&bytes, length);
        bytes.insert(bytes.end(), record.Bytes.begin(), record.Bytes.end());
    }
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}
