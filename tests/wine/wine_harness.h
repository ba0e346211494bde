// Runs Windows programs of the win64 build under Wine for tests.
//
// One template prefix is built per test run (the CTest fixture "zelk_wine": wine_template_build and
// wine_template_stop; a test run by hand builds it on first use). Each WinePrefix is a fresh copy of that template, started with wineboot so
// that the output of services and drivers started in it lands in a log of its own; it is shut down with
// `wineserver -k` and removed when the object goes. See docs/wine-tests.md.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include <gtest/gtest.h>

// True when the wine64 loader is installed; Wine tests skip only when it is not.
bool WineIsAvailable();

// Host path of a file built by the win64 preset, e.g. WineWin64BuildPath("purge/ZelkPurge.exe").
std::string WineWin64BuildPath(const std::string& relative);

// Builds the template prefix afresh (the CTest fixture), or only when missing; false with a message on
// failure.
bool WineBuildTemplate(std::string* error);
bool WineEnsureTemplate(std::string* error);
// Stops whatever still runs in the template prefix.
void WineStopTemplate();

struct WineCommand {
    std::string Program;                  // a Windows path ("C:\\zelk\\x.exe") or a host path
    std::vector<std::string> Arguments;   // each passed as one argument
    std::vector<std::string> Environment; // extra "NAME=value" entries
};

struct WineResult {
    bool Finished = false;               // false: still running at the time limit, and killed
    int ExitCode = -1;                   // the program's exit code when Finished
    std::vector<std::string> DebugLines; // OutputDebugStringA/W texts, in order, exactly as passed
    std::string Stdout;
    std::string Stderr; // Wine's own messages included
};

// A program started in the background; Wait collects it like WinePrefix::Run.
class WineProcess {
public:
    WineProcess(pid_t pid, std::string outputPath, std::string errorPath);
    WineProcess(WineProcess&& other) noexcept;
    WineProcess(const WineProcess&) = delete;
    WineProcess& operator=(const WineProcess&) = delete;
    ~WineProcess();
    WineResult Wait(std::chrono::milliseconds limit);

private:
    pid_t m_pid;
    std::string m_outputPath;
    std::string m_errorPath;
};

// Size and modification time of one file, to tell "untouched" from "rewritten".
struct WineFileFacts {
    unsigned long long Size = 0;
    long long ModifiedNanoseconds = 0;
    bool operator==(const WineFileFacts& other) const {
        return Size == other.Size && ModifiedNanoseconds == other.ModifiedNanoseconds;
    }
};

struct WinePrefixOptions {
    // Start a private Xvfb for windowed programs. Without it Wine uses $DISPLAY if set (xvfb-run), else none.
    bool StartDisplay = false;
};

class WinePrefix {
public:
    // A fresh copy of the template named after `name`; a failure is reported through Error().
    explicit WinePrefix(const std::string& name, WinePrefixOptions options = {});
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;
    ~WinePrefix();

    // Empty when the prefix is up; otherwise why not.
    const std::string& Error() const { return m_error; }
    // Host path of a Windows path on drive C: ("C:\\windows\\ZELKSrv.log").
    std::string HostPath(const std::string& windowsPath) const;
    // Host path of C:\windows.
    std::string WindowsDir() const { return HostPath("C:\\windows"); }
    // The regular files directly in C:\windows, by name.
    std::map<std::string, WineFileFacts> WindowsDirFiles() const;
    // Copies a host file into a Windows folder (created if needed); returns its Windows path.
    std::string CopyIn(const std::string& hostFile, const std::string& windowsFolder) const;
    // Writes a file at a Windows path (folders created as needed).
    void WriteFile(const std::string& windowsPath, const std::string& contents) const;

    // Runs a program to its end or the time limit.
    WineResult Run(const WineCommand& command,
                   std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
    WineProcess Start(const WineCommand& command) const;
    // Polls for a file to appear (processes that ended show as defunct, so files are the signal).
    bool WaitForFile(const std::string& windowsPath, std::chrono::milliseconds limit) const;
    // Debugger output of everything the prefix's start-up launched: services and drivers.
    std::vector<std::string> BootDebugLines() const;

private:
    std::vector<std::string> Environment(const WineCommand* command) const;
    void StartDisplay();

    std::string m_root;
    std::string m_bootErrorPath;
    std::string m_display;
    pid_t m_xvfb = -1;
    std::string m_error;
    mutable int m_runs = 0;
};

// The texts of OutputDebugString lines (the duplicate exception copies dropped) and of drivers' DbgPrint
// lines in Wine's trace output.
std::vector<std::string> WineDebugLines(const std::string& traceOutput);

// A test that needs Wine: skips with a message when wine64 is absent, otherwise gives a fresh prefix.
class WineTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::unique_ptr<WinePrefix> Prefix;
};
