// The harness itself: trace parsing, and a probe program run in a fresh prefix.
#include "tests/wine/wine_harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(WineDebugLines, KeepsEachOutputDebugStringOnceAndDecodesIt) {
    const std::string trace = "0024:warn:debugstr:OutputDebugStringA \"narrow \\\"q\\\" \\\\ \\x41\\n\"\n"
                              "0024:warn:seh:dispatch_exception \"narrow \\\"q\\\" \\\\ \\x41\\n\"\n"
                              "0048:err:winediag:nodrv_CreateWindow Application tried to create a window\n"
                              "0024:warn:seh:OutputDebugStringA \"Zelk: wide\\tline\\r\\n\"\n"
                              "0024:warn:seh:dispatch_exception \"Zelk: wide\\tline\\r\\n\"\n"
                              "0024:warn:seh:dispatch_exception unknown exception (code=6ba) raised\n";
    EXPECT_EQ(WineDebugLines(trace),
              (std::vector<std::string>{"narrow \"q\" \\ A\n", "Zelk: wide\tline\r\n"}));
}

class WineProbeTest : public WineTest {
protected:
    static WineCommand Probe(std::vector<std::string> arguments) {
        return {WineWin64BuildPath("tests/wine/programs/zelk_wine_probe.exe"), std::move(arguments), {}};
    }
};

TEST_F(WineProbeTest, RunGivesExitCodeDebugLinesAndWindowsFiles) {
    EXPECT_EQ(Prefix->WindowsDirFiles().count("zelk_probe.txt"), 0u);
    const WineResult result = Prefix->Run(Probe({"7"}));
    ASSERT_TRUE(result.Finished) << result.Stderr;
    EXPECT_EQ(result.ExitCode, 7);
    EXPECT_EQ(result.DebugLines,
              (std::vector<std::string>{"probe narrow \"quoted\"\\\n", "probe wide\tline\n"}));
    EXPECT_EQ(Prefix->WindowsDirFiles().count("zelk_probe.txt"), 1u);
}

TEST_F(WineProbeTest, TimeLimitEndsAProgramThatDoesNotFinish) {
    // The probe sleeps a minute; finishing at all would mean the limit was not applied.
    const WineResult result = Prefix->Run(Probe({"0", "sleep"}), std::chrono::seconds(3));
    EXPECT_FALSE(result.Finished);
}

TEST(WinePrefixDisplay, AStartedDisplayRunsPrograms) {
    if (!WineIsAvailable()) {
        GTEST_SKIP() << "wine64 is not installed: Wine tests skipped";
    }
    WinePrefixOptions options;
    options.StartDisplay = true;
    WinePrefix prefix("WinePrefixDisplay", options);
    ASSERT_EQ(prefix.Error(), "");
    const WineResult result =
        prefix.Run({WineWin64BuildPath("tests/wine/programs/zelk_wine_probe.exe"), {"3"}, {}});
    EXPECT_TRUE(result.Finished);
    EXPECT_EQ(result.ExitCode, 3);
}

} // namespace
