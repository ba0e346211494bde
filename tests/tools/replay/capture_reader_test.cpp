#include "tools/replay/capture_reader.h"

#include <pcap/pcap.h>

#include <gtest/gtest.h>

#include "tests/tools/replay/capture_files.h"

namespace zelk {
namespace {

using test::TestRecord;

const std::vector<TestRecord> kRecords = {{1300000000, 250000, {1, 2, 3}},
                                          {1300000001, 999999, {4, 5, 6, 7}}};

struct Reading {
    std::vector<CaptureRecord> Records;
    std::vector<std::vector<uint8_t>> Data;
    CaptureReadResult End = CaptureReadResult::End;
    std::string Error;
};

Reading ReadAll(CaptureReader& reader) {
    Reading reading;
    CaptureRecord record;
    while ((reading.End = reader.Next(&record, &reading.Error)) == CaptureReadResult::Record) {
        reading.Records.push_back(record);
        reading.Data.emplace_back(record.Data, record.Data + record.Length);
    }
    return reading;
}

class CaptureReaderTest : public testing::TestWithParam<bool> {
protected:
    std::string Write(int linkType, const std::vector<TestRecord>& records) {
        const std::string path = m_folder.Path(GetParam() ? "capture.pcapng" : "capture.pcap");
        (GetParam() ? test::WritePcapng : test::WritePcap)(path, linkType, records);
        return path;
    }
    test::TempFolder m_folder;
};

TEST_P(CaptureReaderTest, ReadsRecordsWithNanosecondTimes) {
    std::string error;
    const auto reader = CaptureReader::Open(Write(DLT_LINUX_SLL2, kRecords), &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->LinkType(), DLT_LINUX_SLL2);
    const Reading reading = ReadAll(*reader);
    EXPECT_EQ(reading.End, CaptureReadResult::End);
    ASSERT_EQ(reading.Records.size(), 2u);
    EXPECT_EQ(reading.Records[0].Seconds, 1300000000);
    EXPECT_EQ(reading.Records[0].Nanoseconds, 250000000u);
    EXPECT_EQ(reading.Records[1].Nanoseconds, 999999000u);
    EXPECT_EQ(reading.Data[1], (std::vector<uint8_t>{4, 5, 6, 7}));
}

TEST_P(CaptureReaderTest, FileCutInsideARecordIsTruncatedAfterTheWholeOnes) {
    const std::string path = Write(DLT_EN10MB, kRecords);
    std::vector<uint8_t> bytes = test::ReadBytes(path);
    bytes.resize(bytes.size() - 6);
    test::WriteBytes(path, bytes);

    std::string error;
    const auto reader = CaptureReader::Open(path, &error);
    ASSERT_TRUE(reader) << error;
    const Reading reading = ReadAll(*reader);
    EXPECT_EQ(reading.End, CaptureReadResult::Truncated);
    EXPECT_EQ(reading.Records.size(), 1u);
    EXPECT_FALSE(reading.Error.empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, CaptureReaderTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param) {
                             return param.param ? "Pcapng" : "Pcap";
                         });

TEST(CaptureReaderOpenTest, MissingOrForeignFilesAreRefusedWithAReason) {
    test::TempFolder folder;
    test::WriteBytes(folder.Path("text"), {'h', 'e', 'l', 'l', 'o', '\n'});
    test::WriteBytes(folder.Path("short"), {0xD4, 0xC3, 0xB2});
    for (const std::string& path : {folder.Path("missing"), folder.Path("text"), folder.Path("short")}) {
        std::string error;
        EXPECT_FALSE(CaptureReader::Open(path, &error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
}

TEST(CaptureReaderOpenTest, ReadsFromAStream) {
    test::TempFolder folder;
    test::WritePcap(folder.Path("c.pcap"), DLT_EN10MB, kRecords);
    const std::vector<uint8_t> bytes = test::ReadBytes(folder.Path("c.pcap"));
    FILE* stream = fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    std::string error;
    const auto reader = CaptureReader::OpenStream(stream, &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(ReadAll(*reader).Records.size(), 2u);
}

TEST(CaptureReaderOpenTest, NamesLinkTypes) {
    EXPECT_EQ(CaptureReader::LinkTypeName(DLT_EN10MB), "EN10MB");
    EXPECT_EQ(CaptureReader::LinkTypeName(DLT_LINUX_SLL2), "LINUX_SLL2");
    EXPECT_EQ(CaptureReader::LinkTypeName(65000), "65000");
}

} // namespace
} // namespace zelk
