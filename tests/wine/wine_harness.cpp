#include "tests/wine/wine_harness.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

const char* const WINE_LOADER = "/usr/lib/wine/wine64";
const char* const WINE_SERVER = "/usr/lib/wine/wineserver64";
const char* const XVFB = "/usr/bin/Xvfb";
// OutputDebugStringW reaches the trace only through the exception channel.
const char* const WINE_DEBUG_CHANNELS = "-all,+debugstr,warn+seh";
// No prompts to install Mono or Gecko while a prefix is created.
const char* const WINE_DLL_OVERRIDES = "mscoree,mshtml=";
const milliseconds TEMPLATE_BOOT_LIMIT = std::chrono::seconds(180);
const milliseconds PREFIX_BOOT_LIMIT = std::chrono::seconds(60);
const milliseconds SERVER_STOP_LIMIT = std::chrono::seconds(20);

std::string TemplateDir() {
    return ZELK_WINE_WORK_DIR "/template";
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every entry of our environment, then the overrides (NAME=value) replacing or adding.
std::vector<std::string> MergeEnvironment(const std::vector<std::string>& overrides) {
    std::map<std::string, std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text(*entry);
        entries[text.substr(0, text.find('='))] = text;
    }
    for (const std::string& text : overrides) {
        entries[text.substr(0, text.find('='))] = text;
    }
    std::vector<std::string> merged;
    for (const auto& entry : entries) {
        merged.push_back(entry.second);
    }
    return merged;
}

std::vector<std::string> WineEnvironment(const std::string& prefix) {
    return {"WINEPREFIX=" + prefix, "WINEARCH=win64", std::string("WINEDEBUG=") + WINE_DEBUG_CHANNELS,
            std::string("WINEDLLOVERRIDES=") + WINE_DLL_OVERRIDES};
}

// Starts argv with stdin from /dev/null and stdout/stderr into the given files; -1 when it cannot start.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& outPath, const std::string& errPath, int extraFd = -1,
            int extraFdTarget = -1) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : env) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (extraFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, extraFd, extraFdTarget);
    }
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// Waits for a child; kills it at the limit. Returns the exit status (-1 when killed or not started).
int WaitChild(pid_t pid, milliseconds limit, bool* finished) {
    *finished = false;
    if (pid < 0) {
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    *finished = WIFEXITED(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::string& logPrefix, milliseconds limit, std::string* error) {
    bool finished = false;
    const int code = WaitChild(Spawn(argv, env, logPrefix + ".out", logPrefix + ".err"), limit, &finished);
    if (finished && code == 0) {
        return true;
    }
    *error = argv[0] + " " + (argv.size() > 1 ? argv[1] : "") + (finished ? " failed" : " did not finish") +
             "; see " + logPrefix + ".err";
    return false;
}

// Stops the prefix's wineserver and everything running under it.
void StopServer(const std::string& prefix) {
    std::string error;
    RunToEnd({WINE_SERVER, "-k"}, MergeEnvironment(WineEnvironment(prefix)), prefix + ".stop",
             SERVER_STOP_LIMIT, &error);
}

// Held for the life of the object: one template build at a time across test processes.
class TemplateLock {
public:
    TemplateLock() {
        fs::create_directories(ZELK_WINE_WORK_DIR);
        m_fd = open((TemplateDir() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd >= 0) {
            flock(m_fd, LOCK_EX);
        }
    }
    ~TemplateLock() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    TemplateLock(const TemplateLock&) = delete;
    TemplateLock& operator=(const TemplateLock&) = delete;

private:
    int m_fd;
};

bool BuildTemplateLocked(std::string* error) {
    const std::string building = TemplateDir() + ".building";
    fs::remove_all(building);
    fs::remove_all(TemplateDir());
    const std::vector<std::string> env = MergeEnvironment(WineEnvironment(building));
    if (!RunToEnd({WINE_LOADER, "wineboot", "--init"}, env, building + ".boot", TEMPLATE_BOOT_LIMIT, error)) {
        return false;
    }
    // The server ends once everything the first boot started has gone: the template is then complete.
    if (!RunToEnd({WINE_SERVER, "-w"}, env, building + ".wait", TEMPLATE_BOOT_LIMIT, error)) {
        return false;
    }
    fs::rename(building, TemplateDir());
    return true;
}

std::string DecodeTraceString(const std::string& text, size_t start) {
    std::string decoded;
    for (size_t i = start; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            decoded += text[i];
            continue;
        }
        const char escaped = text[++i];
        if (escaped == 'n') {
            decoded += '\n';
        } else if (escaped == 'r') {
            decoded += '\r';
        } else if (escaped == 't') {
            decoded += '\t';
        } else if (escaped == 'x' && i + 2 < text.size()) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += escaped;
        }
    }
    return decoded;
}

} // namespace

bool WineIsAvailable() {
    return access(WINE_LOADER, X_OK) == 0;
}

std::string WineWin64BuildPath(const std::string& relative) {
    return std::string(ZELK_WIN64_DIR "/") + relative;
}

bool WineBuildTemplate(std::string* error) {
    TemplateLock lock;
    return BuildTemplateLocked(error);
}

bool WineEnsureTemplate(std::string* error) {
    TemplateLock lock;
    return fs::exists(TemplateDir() + "/system.reg") || BuildTemplateLocked(error);
}

void WineStopTemplate() {
    StopServer(TemplateDir());
}

std::vector<std::string> WineDebugLines(const std::string& traceOutput) {
    std::vector<std::string> lines;
    std::istringstream in(traceOutput);
    std::string line;
    while (std::getline(in, line)) {
        bool found = false;
        for (const char* marker : {":OutputDebugStringA \"", ":OutputDebugStringW \""}) {
            const size_t at = line.find(marker);
            if (at != std::string::npos) {
                lines.push_back(DecodeTraceString(line, at + std::char_traits<char>::length(marker)));
                found = true;
                break;
            }
        }
        // A driver's DbgPrint: "...:vDbgPrintExWithPrefix 00000000:00000001: text", its own line end kept
        // raw.
        const size_t printed = found ? std::string::npos : line.find(":vDbgPrintExWithPrefix ");
        const size_t text = printed == std::string::npos ? printed : line.find(": ", printed + 1);
        if (text != std::string::npos) {
            lines.push_back(line.substr(text + 2) + "\n");
        }
    }
    return lines;
}

WineProcess::WineProcess(pid_t pid, std::string outputPath, std::string errorPath)
    : m_pid(pid), m_outputPath(std::move(outputPath)), m_errorPath(std::move(errorPath)) {}

WineProcess::WineProcess(WineProcess&& other) noexcept
    : m_pid(other.m_pid), m_outputPath(std::move(other.m_outputPath)),
      m_errorPath(std::move(other.m_errorPath)) {
    other.m_pid = -1;
}

WineProcess::~WineProcess() {
    if (m_pid > 0) {
        Wait(milliseconds(0));
    }
}

WineResult WineProcess::Wait(milliseconds limit) {
    WineResult result;
    result.ExitCode = WaitChild(m_pid, limit, &result.Finished);
    m_pid = -1;
    result.Stdout = ReadWholeFile(m_outputPath);
    result.Stderr = ReadWholeFile(m_errorPath);
    result.DebugLines = WineDebugLines(result.Stderr);
    return result;
}

WinePrefix::WinePrefix(const std::string& name, WinePrefixOptions options) {
    if (!WineEnsureTemplate(&m_error)) {
        return;
    }
    // A parameterised test's name holds a slash; each prefix gets one folder of its own all the same.
    std::string folder = name;
    std::replace(folder.begin(), folder.end(), '/', '_');
    const std::string work =
        std::string(ZELK_WINE_WORK_DIR "/prefixes/") + folder + "-" + std::to_string(getpid());
    fs::remove_all(work);
    fs::create_directories(work);
    m_root = work + "/prefix";
    m_bootErrorPath = work + "/boot.err";
    if (!RunToEnd({"/bin/cp", "-a", TemplateDir(), m_root}, MergeEnvironment({}), work + "/copy",
                  PREFIX_BOOT_LIMIT, &m_error)) {
        return;
    }
    if (options.StartDisplay) {
        StartDisplay();
    }
    // A persistent server keeps services and drivers running between the test's programs; without it the
    // prefix shuts its system processes down whenever no program of the test runs. `-k` ends it.
    if (!RunToEnd({WINE_SERVER, "-p"}, Environment(nullptr), work + "/server", PREFIX_BOOT_LIMIT, &m_error)) {
        return;
    }
    // Services and drivers write to the stderr of the process that started the prefix: keep it.
    bool finished = false;
    const pid_t boot =
        Spawn({WINE_LOADER, "wineboot"}, Environment(nullptr), work + "/boot.out", m_bootErrorPath);
    if (WaitChild(boot, PREFIX_BOOT_LIMIT, &finished) != 0) {
        m_error = "wineboot did not start the prefix; see " + m_bootErrorPath;
    }
}

WinePrefix::~WinePrefix() {
    if (!m_root.empty()) {
        StopServer(m_root);
    }
    if (m_xvfb > 0) {
        kill(m_xvfb, SIGTERM);
        waitpid(m_xvfb, nullptr, 0);
    }
    if (!m_root.empty() && std::getenv("ZELK_WINE_KEEP") == nullptr) {
        fs::remove_all(fs::path(m_root).parent_path());
    }
}

void WinePrefix::StartDisplay() {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        m_error = "no pipe for Xvfb";
        return;
    }
    // Xvfb picks a free display itself and writes its number to descriptor 3.
    m_xvfb = Spawn({XVFB, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
                   MergeEnvironment({}), "/dev/null", "/dev/null", pipeFds[1], 3);
    close(pipeFds[1]);
    std::string number;
    char c = 0;
    while (read(pipeFds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(pipeFds[0]);
    if (number.empty()) {
        m_error = "Xvfb did not start";
        return;
    }
    m_display = ":" + number;
}

std::vector<std::string> WinePrefix::Environment(const WineCommand* command) const {
    std::vector<std::string> overrides = WineEnvironment(m_root);
    if (!m_display.empty()) {
        overrides.push_back("DISPLAY=" + m_display);
    }
    if (command != nullptr) {
        overrides.insert(overrides.end(), command->Environment.begin(), command->Environment.end());
    }
    return MergeEnvironment(overrides);
}

std::string WinePrefix::HostPath(const std::string& windowsPath) const {
    std::string path = m_root + "/drive_c";
    const size_t start = windowsPath.size() >= 2 && windowsPath[1] == ':' ? 2 : 0;
    for (size_t i = start; i < windowsPath.size(); ++i) {
        path += windowsPath[i] == '\\' ? '/' : windowsPath[i];
    }
    return path;
}

std::map<std::string, WineFileFacts> WinePrefix::WindowsDirFiles() const {
    std::map<std::string, WineFileFacts> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(WindowsDir())) {
        struct stat facts {};
        if (!entry.is_regular_file() || stat(entry.path().c_str(), &facts) != 0) {
            continue;
        }
        WineFileFacts& file = files[entry.path().filename().string()];
        file.Size = static_cast<unsigned long long>(facts.st_size);
        file.ModifiedNanoseconds = facts.st_mtim.tv_sec * 1000000000LL + facts.st_mtim.tv_nsec;
    }
    return files;
}

std::string WinePrefix::CopyIn(const std::string& hostFile, const std::string& windowsFolder) const {
    const fs::path folder = HostPath(windowsFolder);
    fs::create_directories(folder);
    fs::copy_file(hostFile, folder / fs::path(hostFile).filename(), fs::copy_options::overwrite_existing);
    return windowsFolder + "\\" + fs::path(hostFile).filename().string();
}

void WinePrefix::WriteFile(const std::string& windowsPath, const std::string& contents) const {
    const fs::path path = HostPath(windowsPath);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

WineProcess WinePrefix::Start(const WineCommand& command) const {
    const std::string base = fs::path(m_root).parent_path().string() + "/run" + std::to_string(++m_runs);
    std::vector<std::string> argv = {WINE_LOADER, command.Program};
    argv.insert(argv.end(), command.Arguments.begin(), command.Arguments.end());
    return WineProcess(Spawn(argv, Environment(&command), base + ".out", base + ".err"), base + ".out",
                       base + ".err");
}

WineResult WinePrefix::Run(const WineCommand& command, milliseconds limit) const {
    return Start(command).Wait(limit);
}

bool WinePrefix::WaitForFile(const std::string& windowsPath, milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(HostPath(windowsPath))) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

std::vector<std::string> WinePrefix::BootDebugLines() const {
    return WineDebugLines(ReadWholeFile(m_bootErrorPath));
}

void WineTest::SetUp() {
    if (!WineIsAvailable()) {
        GTEST_SKIP() << "wine64 is not installed (" << WINE_LOADER
                     << "): Wine tests skipped; ./zelk test installs it";
    }
    ASSERT_TRUE(fs::is_directory(ZELK_WIN64_DIR))
        << "no win64 build at " << ZELK_WIN64_DIR
        << ": ./zelk test builds it before the host tests (by hand: "
        << "cmake --preset win64 -B <that folder> && cmake --build <that folder>, or set ZELK_WIN64_DIR)";
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    Prefix = std::make_unique<WinePrefix>(std::string(test->test_suite_name()) + "." + test->name());
    ASSERT_EQ(Prefix->Error(), "");
}
