// Recording events under Wine with the Win32 seams: the files land in C:\windows, and a reader that holds
// the event file open with no sharing does not make an event go missing unless it holds on past the bound.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/service/files/event_records.h"
#include "tests/wine/wine_harness.h"

namespace zelk::test {
namespace {

const char PROBE_FOLDER[] = "C:\\zelk";
const char READY_FILE[] = "C:\\zelk\\ready";
const char STARTED_FILE[] = "C:\\zelk\\started";
const char LOG_FILE[] = "C:\\windows\\ZELKSrv.log";
const char EVENT_FILE[] = "C:\\windows\\ZELKSrv.evt";
// The probe records 2011-03-25 21:35:37 UTC; Wine runs it in UTC here.
const char EXPECTED_LINE[] =
    "[2][2011/03/25 21:35:37] In ARP attack, ARP Spoofing from IP=192.168.1.10, MAC=00-1A-2B-3C-4D-5E.";

// The value of a "key=value" line of the probe's output.
std::string OutputValue(const std::string& output, const std::string& key) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

class EventFilesWineTest : public WineTest {
protected:
    void SetUp() override {
        WineTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        probe_ = Prefix->CopyIn(WineWin64BuildPath("tests/wine/programs/service_files/zelk_files_probe.exe"),
                                PROBE_FOLDER);
    }

    WineResult Record(std::vector<std::string> arguments = {}) const {
        arguments.insert(arguments.begin(), "record");
        WineResult result = Prefix->Run({probe_, arguments, {"TZ=UTC"}});
        EXPECT_TRUE(result.Finished);
        EXPECT_EQ(result.ExitCode, 0) << result.Stderr;
        return result;
    }

    // Records one event while a reader holds the event file for `holdMilliseconds` after recording began.
    WineResult RecordWhileHeld(int holdMilliseconds) const {
        WineProcess reader =
            Prefix->Start({probe_, {"hold", std::to_string(holdMilliseconds), READY_FILE, STARTED_FILE}, {}});
        EXPECT_TRUE(Prefix->WaitForFile(READY_FILE, std::chrono::seconds(60)))
            << "the reader never held the file";
        WineResult recorded = Record({STARTED_FILE});
        const WineResult held = reader.Wait(std::chrono::seconds(60));
        EXPECT_TRUE(held.Finished);
        EXPECT_EQ(held.ExitCode, 0) << "the reader let go before recording began: " << held.Stderr;
        return recorded;
    }

    std::string Contents(const char* windowsPath) const {
        std::ifstream file(Prefix->HostPath(windowsPath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    static std::string ExpectedRecord() {
        GuardEvent event = MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-1A-2B-3C-4D-5E", "192.168.1.10");
        event.Time = EventTimeOfUtc(2011, 3, 25, 21, 35, 37);
        return std::string(reinterpret_cast<const char*>(&event), GUARD_EVENT_SIZE);
    }

    std::string probe_;
};

TEST_F(EventFilesWineTest, FilesLandInTheWindowsDirectory) {
    const WineResult result = Record();
    EXPECT_EQ(OutputValue(result.Stdout, "directory"), "C:\\windows");
    EXPECT_EQ(OutputValue(result.Stdout, "line"), EXPECTED_LINE);
    EXPECT_EQ(Contents(LOG_FILE), std::string(EXPECTED_LINE) + "\r\n");
    EXPECT_EQ(Contents(EVENT_FILE), ExpectedRecord());
    EXPECT_EQ(result.DebugLines, std::vector<std::string>{EXPECTED_LINE});
}

TEST_F(EventFilesWineTest, AReaderHoldingTheEventFileBrieflyCostsNoEvent) {
    Record();
    const WineResult result = RecordWhileHeld(500);
    EXPECT_EQ(Contents(EVENT_FILE), ExpectedRecord() + ExpectedRecord())
        << "waited " << OutputValue(result.Stdout, "elapsed_ms") << " ms";
    EXPECT_EQ(Contents(LOG_FILE), std::string(EXPECTED_LINE) + "\r\n" + EXPECTED_LINE + "\r\n");
}

TEST_F(EventFilesWineTest, AReaderHoldingOnPastTheBoundCostsOnlyTheEventFile) {
    Record();
    RecordWhileHeld(3000);
    EXPECT_EQ(Contents(EVENT_FILE), ExpectedRecord());
    EXPECT_EQ(Contents(LOG_FILE), std::string(EXPECTED_LINE) + "\r\n" + EXPECTED_LINE + "\r\n");
}

} // namespace
} // namespace zelk::test
