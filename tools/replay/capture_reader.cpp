#include "tools/replay/capture_reader.h"

#include <pcap/pcap.h>

namespace zelk {

struct CaptureReader::Handle {
    pcap_t* Pcap;
};

CaptureReader::CaptureReader(Handle* handle) : m_handle(handle) {}

CaptureReader::~CaptureReader() {
    pcap_close(m_handle->Pcap);
    delete m_handle;
}

std::unique_ptr<CaptureReader> CaptureReader::Open(const std::string& path, std::string* error) {
    char message[PCAP_ERRBUF_SIZE] = "";
    pcap_t* pcap = pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, message);
    if (pcap == nullptr) {
        *error = message;
        return nullptr;
    }
    return std::unique_ptr<CaptureReader>(new CaptureReader(new Handle{pcap}));
}

std::unique_ptr<CaptureReader> CaptureReader::OpenStream(FILE* stream, std::string* error) {
    char message[PCAP_ERRBUF_SIZE] = "";
    pcap_t* pcap = pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, message);
    if (pcap == nullptr) {
        std::fclose(stream);
        *error = message;
        return nullptr;
    }
    return std::unique_ptr<CaptureReader>(new CaptureReader(new Handle{pcap}));
}

int CaptureReader::LinkType() const {
    return pcap_datalink(m_handle->Pcap);
}

std::string CaptureReader::LinkTypeName(int linkType) {
    const char* name = pcap_datalink_val_to_name(linkType);
    return name != nullptr ? name : std::to_string(linkType);
}

CaptureReadResult CaptureReader::Next(CaptureRecord* record, std::string* error) {
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int result = pcap_next_ex(m_handle->Pcap, &header, &data);
    if (result == PCAP_ERROR_BREAK) {
        return CaptureReadResult::End;
    }
    if (result != 1) {
        *error = pcap_geterr(m_handle->Pcap);
        return CaptureReadResult::Truncated;
    }
    record->Seconds = static_cast<int64_t>(header->ts.tv_sec);
    // With nanosecond precision, tv_usec holds nanoseconds.
    record->Nanoseconds = static_cast<uint32_t>(header->ts.tv_usec);
    record->Data = data;
    record->Length = header->caplen;
    return CaptureReadResult::Record;
}

} // namespace zelk
