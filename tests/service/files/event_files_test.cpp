// Recording events into the log and the event file of a host directory standing for the Windows
// directory, through the host stand-ins of the platform seams.
#include "service/files/event_files.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/debug_output/debug_output_host_control.h"
#include "platform/exclusive_file/exclusive_file_host_control.h"
#include "platform/windir/windows_directory_host_control.h"
#include "platform/wow64/wow64_redirection_host_control.h"
#include "service/files/event_line.h"
#include "tests/service/files/event_records.h"

namespace zelk::test {
namespace {

namespace fs = std::filesystem;

const char kInboundLine[] =
    "[2][2011/03/25 21:35:37] In ARP attack, ARP Spoofing from IP=192.168.1.10, MAC=00-1A-2B-3C-4D-5E.";
const char kScanLine[] = "[1][2011/03/25 21:35:38] Program SCAN.EXE (PID=77) use ARP SCAN network.";

std::string ReadBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string RecordBytes(const GuardEvent& event) {
    return std::string(reinterpret_cast<const char*>(&event), GUARD_EVENT_SIZE);
}

class EventFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelk-windows-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        WindowsDirectoryHostUse(pattern);
        ASSERT_TRUE(FindWindowsDirectory(windows_));
        ExclusiveFileHostResetForTest();
        DebugOutputHostClearForTest();
        Wow64HostSetAvailableForTest(true);
    }

    void TearDown() override {
        ExclusiveFileHostResetForTest();
        Wow64HostSetAvailableForTest(true);
        EXPECT_EQ(Wow64HostOffCountForTest(), 0) << "redirection left off";
        fs::remove_all(directory_);
    }

    std::string Log() const { return ReadBytes(directory_ / "ZELKSrv.log"); }
    std::string Events() const { return ReadBytes(directory_ / "ZELKSrv.evt"); }
    bool LogExists() const { return fs::exists(directory_ / "ZELKSrv.log"); }
    bool EventsExist() const { return fs::exists(directory_ / "ZELKSrv.evt"); }

    fs::path directory_;
    wchar_t windows_[WINDOWS_PATH_UNITS];
    const GuardEvent inbound_ = MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-1A-2B-3C-4D-5E", "192.168.1.10");
    const GuardEvent scan_ =
        MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-77", "10.0.0.7", 77, u"SCAN.EXE");
};

TEST_F(EventFilesTest, FirstEventCreatesBothFiles) {
    ASSERT_FALSE(LogExists());
    ASSERT_FALSE(EventsExist());
    RecordEvent(windows_, kInboundLine, inbound_);
    EXPECT_EQ(Log(), std::string(kInboundLine) + "\r\n");
    EXPECT_EQ(Events(), RecordBytes(inbound_));
    EXPECT_EQ(DebugOutputHostLinesForTest(), std::vector<std::string>{kInboundLine});
}

TEST_F(EventFilesTest, EachEventAppendsOneCrLfLineAnd91Bytes) {
    RecordEvent(windows_, kInboundLine, inbound_);
    RecordEvent(windows_, kScanLine, scan_);
    RecordEvent(windows_, kInboundLine, inbound_);
    EXPECT_EQ(Log(), std::string(kInboundLine) + "\r\n" + kScanLine + "\r\n" + kInboundLine + "\r\n");
    const std::string events = Events();
    ASSERT_EQ(events.size(), 3 * GUARD_EVENT_SIZE);
    EXPECT_EQ(events.substr(0, GUARD_EVENT_SIZE), RecordBytes(inbound_));
    EXPECT_EQ(events.substr(GUARD_EVENT_SIZE, GUARD_EVENT_SIZE), RecordBytes(scan_));
    EXPECT_EQ(DebugOutputHostLinesForTest(),
              (std::vector<std::string>{kInboundLine, kScanLine, kInboundLine}));
}

TEST_F(EventFilesTest, EmptyLineRecordsNothing) {
    RecordEvent(windows_, "", inbound_);
    RecordEvent(windows_, nullptr, inbound_);
    EXPECT_FALSE(LogExists());
    EXPECT_FALSE(EventsExist());
    EXPECT_TRUE(DebugOutputHostLinesForTest().empty());
}

TEST_F(EventFilesTest, OverlongLineIsCutTo2047Characters) {
    const std::string longLine(3000, 'x');
    RecordEvent(windows_, longLine.c_str(), inbound_);
    EXPECT_EQ(Log(), std::string(EVENT_LINE_MAX_CHARS, 'x') + "\r\n");
    EXPECT_EQ(DebugOutputHostLinesForTest(),
              std::vector<std::string>{std::string(EVENT_LINE_MAX_CHARS, 'x')});
}

TEST_F(EventFilesTest, RedirectionIsTurnedOffAroundTheFileWorkWhenThereIsAny) {
    for (const bool available : {true, false}) {
        Wow64HostSetAvailableForTest(available);
        const uint32_t activationsBefore = Wow64HostActivationsForTest();
        RecordEvent(windows_, kInboundLine, inbound_);
        EXPECT_EQ(Wow64HostActivationsForTest() - activationsBefore, available ? 1u : 0u);
        EXPECT_EQ(Wow64HostOffCountForTest(), 0);
    }
    EXPECT_EQ(Events().size(), 2 * GUARD_EVENT_SIZE) << "both files written in the same place either way";
    EXPECT_EQ(Log(), std::string(kInboundLine) + "\r\n" + kInboundLine + "\r\n");
}

// The log is opened first, so the failures set up here meet the log's open; the event file is still tried.
struct OpenFailureCase {
    const char* Name;
    uint32_t Failures;
    ExclusiveFileOpenStatus Status;
    bool LogGetsTheLine;
    uint32_t Pauses;
};

class EventFilesOpenFailureTest : public EventFilesTest,
                                  public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(EventFilesOpenFailureTest, RetriesOnlySharingViolationsForAboutASecond) {
    const OpenFailureCase& c = GetParam();
    ExclusiveFileHostFailOpensForTest(c.Failures, c.Status);
    RecordEvent(windows_, kInboundLine, inbound_);
    EXPECT_EQ(Log(), c.LogGetsTheLine ? std::string(kInboundLine) + "\r\n" : std::string());
    EXPECT_EQ(Events(), RecordBytes(inbound_));
    EXPECT_EQ(ExclusiveFileHostPausesForTest(), c.Pauses);
    EXPECT_EQ(ExclusiveFileHostPausedMillisecondsForTest(), uint64_t{c.Pauses} * EVENT_FILE_RETRY_PAUSE_MS);
    EXPECT_LE(ExclusiveFileHostPausedMillisecondsForTest(), EVENT_FILE_RETRY_LIMIT_MS);
}

constexpr uint32_t kPausesInLimit = EVENT_FILE_RETRY_LIMIT_MS / EVENT_FILE_RETRY_PAUSE_MS;

INSTANTIATE_TEST_SUITE_P(
    Opens, EventFilesOpenFailureTest,
    ::testing::Values(OpenFailureCase{"NoFailure", 0, EXCLUSIVE_FILE_SHARING_VIOLATION, true, 0},
                      OpenFailureCase{"OneSharingViolation", 1, EXCLUSIVE_FILE_SHARING_VIOLATION, true, 1},
                      OpenFailureCase{"SharingViolationsUpToTheLimit", kPausesInLimit,
                                      EXCLUSIVE_FILE_SHARING_VIOLATION, true, kPausesInLimit},
                      OpenFailureCase{"SharingViolationsPastTheLimit", kPausesInLimit + 1,
                                      EXCLUSIVE_FILE_SHARING_VIOLATION, false, kPausesInLimit},
                      OpenFailureCase{"OtherFailureSkipsAtOnce", 1, EXCLUSIVE_FILE_OPEN_FAILED, false, 0}),
    [](const ::testing::TestParamInfo<OpenFailureCase>& row) { return std::string(row.param.Name); });

TEST_F(EventFilesTest, AFileThatCannotBeOpenedIsSkipped) {
    fs::create_directory(directory_ / "ZELKSrv.log"); // a real open failure, not a simulated one
    RecordEvent(windows_, kInboundLine, inbound_);
    EXPECT_EQ(Events(), RecordBytes(inbound_));
    EXPECT_EQ(ExclusiveFileHostPausesForTest(), 0u);
}

TEST_F(EventFilesTest, DeletingTheEventFileAfterARestartKeepsTheLog) {
    RecordEvent(windows_, kInboundLine, inbound_);
    DeleteEventFile(windows_);
    EXPECT_FALSE(EventsExist());
    RecordEvent(windows_, kScanLine, scan_);
    EXPECT_EQ(Events(), RecordBytes(scan_));
    EXPECT_EQ(Log(), std::string(kInboundLine) + "\r\n" + kScanLine + "\r\n");
}

TEST_F(EventFilesTest, DeletingAMissingEventFileIsHarmless) {
    DeleteEventFile(windows_);
    EXPECT_FALSE(EventsExist());
    EXPECT_FALSE(LogExists());
}

TEST(BuildServiceFilePathTest, AppendsEachNameToTheWindowsDirectory) {
    const struct {
        ServiceFile File;
        const wchar_t* Expected;
    } cases[] = {
        {SERVICE_FILE_LOG, L"C:\\Windows\\ZELKSrv.log"},
        {SERVICE_FILE_EVENTS, L"C:\\Windows\\ZELKSrv.evt"},
        {SERVICE_FILE_PROGRAM, L"C:\\Windows\\ZELKSrv.exe"},
    };
    for (const auto& c : cases) {
        wchar_t path[WINDOWS_PATH_UNITS];
        ASSERT_TRUE(BuildServiceFilePath(L"C:\\Windows", c.File, path));
        EXPECT_EQ(std::wstring(path), c.Expected);
    }
}

TEST(BuildServiceFilePathTest, RefusesWhatDoesNotFit) {
    // "\ZELKSrv.log" adds 12 units; with the terminator a directory of 247 units is the longest that fits.
    const std::wstring longest(WINDOWS_PATH_UNITS - 13, L'd');
    const std::wstring tooLong = longest + L"d";
    wchar_t path[WINDOWS_PATH_UNITS] = L"stale";
    ASSERT_TRUE(BuildServiceFilePath(longest.c_str(), SERVICE_FILE_LOG, path));
    EXPECT_EQ(std::wstring(path), longest + L"\\ZELKSrv.log");
    EXPECT_FALSE(BuildServiceFilePath(tooLong.c_str(), SERVICE_FILE_LOG, path));
    EXPECT_EQ(path[0], L'\0');
    EXPECT_FALSE(BuildServiceFilePath(L"", SERVICE_FILE_EVENTS, path));
    EXPECT_EQ(path[0], L'\0');
}

} // namespace
} // namespace zelk::test
