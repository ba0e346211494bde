#include "setup/setup_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

namespace {

const char16_t GUARD_UNIT = u'#';

struct FormatCase {
    const char* Name;
    const char16_t* Format;
    const char16_t* Text;
    int32_t Number;
    std::u16string Expected;
};

// Test names show the row, not its bytes.
void PrintTo(const FormatCase& row, std::ostream* out) {
    *out << row.Name;
}

class SetupFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SetupFormatTest, FillsPlaceholdersInOrder) {
    const FormatCase& row = GetParam();
    char16_t buffer[SETUP_MESSAGE_UNITS];
    const SetupFormatValue values[] = {{row.Text, 0}, {nullptr, row.Number}};
    const size_t length = SetupFormat(buffer, SETUP_MESSAGE_UNITS, row.Format, values, 2);
    EXPECT_EQ(std::u16string(buffer), row.Expected);
    EXPECT_EQ(length, row.Expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, SetupFormatTest,
    ::testing::Values(FormatCase{"FailureWithCode", u"The %ws driver install failed, error code = %d.\n",
                                 u"Zelk protector", 1058,
                                 u"The Zelk protector driver install failed, error code = 1058.\n"},
                      FormatCase{"NullTextPrintsNothing", u"The %ws driver install successful.\n", nullptr, 0,
                                 u"The  driver install successful.\n"},
                      FormatCase{"NegativeCode", u"%wscode = %d", u"", -1, u"code = -1"},
                      FormatCase{"MostNegativeCode", u"%ws%d", u"x", INT32_MIN, u"x-2147483648"},
                      FormatCase{"EmptyTextJoinsWords", u"The protector driver: %wsfound.\n", u"", 0,
                                 u"The protector driver: found.\n"},
                      FormatCase{"OtherPercentSequencesStay", u"100% %s %", u"unused", 0, u"100% %s %"}),
    [](const ::testing::TestParamInfo<FormatCase>& testInfo) { return testInfo.param.Name; });

TEST(SetupFormatBounds, CutsAtTheBufferAndTerminates) {
    char16_t buffer[8 + 4];
    std::fill(std::begin(buffer), std::end(buffer), GUARD_UNIT);
    const SetupFormatValue value = {u"abcdefghijklmnop", 0};
    EXPECT_EQ(SetupFormat(buffer, 8, u"<%ws>", &value, 1), 7u);
    EXPECT_EQ(std::u16string(buffer), u"<abcdef");
    for (size_t i = 8; i < std::size(buffer); ++i) {
        EXPECT_EQ(buffer[i], GUARD_UNIT) << "written past the buffer at " << i;
    }
}

TEST(SetupReportLineBounds, OverlongMessageIsCutToTheLineBuffer) {
    const std::u16string message(3 * SETUP_MESSAGE_UNITS, u'm');
    char16_t line[SETUP_MESSAGE_UNITS + 4];
    std::fill(std::begin(line), std::end(line), GUARD_UNIT);
    SetupReportLine(line, message.c_str());
    const std::u16string written(line);
    ASSERT_EQ(written.size(), SETUP_MESSAGE_UNITS - 1);
    EXPECT_EQ(written.substr(0, 6), u"Zelk: ");
    for (size_t i = SETUP_MESSAGE_UNITS; i < std::size(line); ++i) {
        EXPECT_EQ(line[i], GUARD_UNIT) << "written past the line at " << i;
    }
}

struct LibraryPathCase {
    const char* Name;
    std::string ModulePath;
    size_t Bytes;
    bool Expected;
    std::string ExpectedPath;
};

// Test names show the row, not its bytes.
void PrintTo(const LibraryPathCase& row, std::ostream* out) {
    *out << row.Name;
}

class SetupLibraryPathTest : public ::testing::TestWithParam<LibraryPathCase> {};

TEST_P(SetupLibraryPathTest, JoinsTheProgramsDirectoryWithTheLibraryName) {
    const LibraryPathCase& row = GetParam();
    char path[SETUP_PATH_UNITS] = "untouched";
    EXPECT_EQ(SetupLibraryPath(row.ModulePath.c_str(), path, row.Bytes), row.Expected);
    EXPECT_EQ(std::string(path), row.Expected ? row.ExpectedPath : "untouched");
}

// "C:\z\ZelkSetup64.dll" is 20 bytes and its terminator one more.
INSTANTIATE_TEST_SUITE_P(
    Paths, SetupLibraryPathTest,
    ::testing::Values(LibraryPathCase{"BesideTheProgram", "C:\\Program Files\\Zelk\\ZelkSetup64.exe",
                                      SETUP_PATH_UNITS, true, "C:\\Program Files\\Zelk\\ZelkSetup64.dll"},
                      LibraryPathCase{"LastBackslashCounts", "C:\\a\\b\\c\\setup.exe", SETUP_PATH_UNITS, true,
                                      "C:\\a\\b\\c\\ZelkSetup64.dll"},
                      LibraryPathCase{"NoBackslash", "ZelkSetup64.exe", SETUP_PATH_UNITS, false, ""},
                      LibraryPathCase{"ExactlyFits", "C:\\z\\ZelkSetup64.exe", 21, true,
                                      "C:\\z\\ZelkSetup64.dll"},
                      LibraryPathCase{"OneByteShortIsRefused", "C:\\z\\ZelkSetup64.exe", 20, false, ""}),
    [](const ::testing::TestParamInfo<LibraryPathCase>& testInfo) { return testInfo.param.Name; });

TEST(SetupChildCommandLine, QuotesTheProgramAndAsksForInstall) {
    char16_t commandLine[SETUP_MESSAGE_UNITS];
    ASSERT_TRUE(
        SetupChildCommandLine(u"C:\\Program Files\\Zelk\\ZelkSetup64.exe", commandLine, SETUP_MESSAGE_UNITS));
    EXPECT_EQ(std::u16string(commandLine), u"\"C:\\Program Files\\Zelk\\ZelkSetup64.exe\" install");
}

TEST(SetupChildCommandLine, RefusesWhatDoesNotFit) {
    // "\"C:\\x.exe\" install" is 18 units and the terminator one more.
    char16_t commandLine[19];
    EXPECT_TRUE(SetupChildCommandLine(u"C:\\x.exe", commandLine, 19));
    EXPECT_FALSE(SetupChildCommandLine(u"C:\\x.exe", commandLine, 18));
}

} // namespace
