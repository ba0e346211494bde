#include "tools/event_view/event_view.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/agent/event_records.h"

namespace {

class EventViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    void SetUp() override {
        char name[] = "/tmp/zelk-event-view-XXXXXX";
        const int descriptor = mkstemp(name);
        ASSERT_GE(descriptor, 0);
        close(descriptor);
        path = name;
    }
    void TearDown() override { std::remove(path.c_str()); }

    void WriteFile(const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    int Run(const std::vector<std::string>& arguments) {
        out.str("");
        err.str("");
        return RunEventsCommand(arguments, out, err);
    }

    std::string path;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(EventViewTest, ListsWhatAPassAddsNewestFirst) {
    // the second record is older than the first: the agent never shows it
    WriteFile(EventFileBytes({MakeEvent(3, EventTimeAt(1), "AA-BB-CC-DD-EE-FF", "10.0.0.7"),
                              MakeEvent(3, EventTimeAt(0)), MakeEvent(2, EventTimeAt(2))},
                             40));
    ASSERT_EQ(Run({path}), 0);
    EXPECT_EQ(
        out.str(),
        "2023/06/15 12:00:02  ALERT  In ARP attack, ARP Spoofing from IP=192.168.1.1, "
        "MAC=00-1A-2B-3C-4D-5E.\n"
        "2023/06/15 12:00:01         Find ARP scan this network from IP=10.0.0.7, MAC=AA-BB-CC-DD-EE-FF.\n");

    ASSERT_EQ(Run({"--json", path}), 0);
    EXPECT_EQ(out.str(),
              "[{\"time_text\": \"2023/06/15 12:00:02\", \"event_text\": \"In ARP attack, ARP Spoofing "
              "from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E.\", \"alert\": true}, {\"time_text\": "
              "\"2023/06/15 12:00:01\", \"event_text\": \"Find ARP scan this network from IP=10.0.0.7, "
              "MAC=AA-BB-CC-DD-EE-FF.\", \"alert\": false}]\n");
}

TEST_F(EventViewTest, ProcessNamesBecomeUtf8AndJsonEscapesQuotes) {
    GuardEvent event = MakeEvent(1, EventTimeAt(1), "02-00-00-00-00-01", "10.0.0.9", 8);
    uint16_t units[GUARD_PROCESS_NAME_UNITS] = {0xE9, 0xD800, 0};
    memcpy(event.ProcessName, units, sizeof(units));
    const std::vector<EventViewRow> rows = EventViewRows(EventFileBytes({event}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].eventText.substr(0, 15), "Program \xC3\xA9\xEF\xBF\xBD (");

    std::ostringstream json;
    WriteEventRowsJson({{"t", "say \"hi\"\\\n", false}}, json);
    EXPECT_EQ(json.str(),
              "[{\"time_text\": \"t\", \"event_text\": \"say \\\"hi\\\"\\\\\\u000a\", \"alert\": false}]\n");
}

TEST_F(EventViewTest, EmptyFileListsNothing) {
    WriteFile({});
    ASSERT_EQ(Run({path, "--json"}), 0);
    EXPECT_EQ(out.str(), "[]\n");
    ASSERT_EQ(Run({path}), 0);
    EXPECT_EQ(out.str(), "");
}

TEST_F(EventViewTest, BadCommandLinesAndMissingFilesAreClearErrors) {
    EXPECT_EQ(Run({}), 2);
    EXPECT_NE(err.str().find("usage"), std::string::npos);
    EXPECT_EQ(Run({path, "--yaml"}), 2);
    EXPECT_EQ(Run({path, path}), 2);
    EXPECT_EQ(Run({"/nonexistent/ZELKSrv.evt"}), 1);
    EXPECT_NE(err.str().find("cannot read /nonexistent/ZELKSrv.evt"), std::string::npos);
    EXPECT_EQ(Run({"/tmp"}), 1) << "a directory is no event file";
    EXPECT_TRUE(out.str().empty());
}

} // namespace
