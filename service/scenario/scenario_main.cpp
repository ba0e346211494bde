// zelk_service_scenario --root DIR --scenario FILE [--pcap FILE]: runs ZELKSrv's service on the simulated
// host through a scenario, then prints the log it wrote, the event file's size and the correction frames.
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/service/pcap_writer.h"
#include "service/scenario/scenario.h"

namespace {

int Usage() {
    fprintf(stderr, "usage: zelk service --root DIR --scenario FILE [--pcap FILE]\n");
    return 2;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    *text = contents.str();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string root;
    std::string scenarioPath;
    std::string pcapPath;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        const std::string value = argv[++i];
        if (option == "--root") {
            root = value;
        } else if (option == "--scenario") {
            scenarioPath = value;
        } else if (option == "--pcap") {
            pcapPath = value;
        } else {
            return Usage();
        }
    }
    if (root.empty() || scenarioPath.empty()) {
        return Usage();
    }
    std::string text;
    if (!ReadWholeFile(scenarioPath, &text)) {
        fprintf(stderr, "zelk service: cannot read %s\n", scenarioPath.c_str());
        return 1;
    }
    zelk::Scenario scenario;
    std::string error;
    if (!zelk::ParseScenario(text, &scenario, &error)) {
        fprintf(stderr, "zelk service: %s: %s\n", scenarioPath.c_str(), error.c_str());
        return 1;
    }
    std::error_code created;
    std::filesystem::create_directories(root, created);
    if (!std::filesystem::is_directory(root)) {
        fprintf(stderr, "zelk service: cannot make %s\n", root.c_str());
        return 1;
    }
    root = std::filesystem::absolute(root).string();
    if (pcapPath.empty()) {
        pcapPath = root + "/correction-frames.pcap";
    }

    const zelk::ScenarioOutcome outcome = zelk::RunScenario(scenario, root);

    const std::string logPath = root + "/windows/ZELKSrv.log";
    const std::string eventPath = root + "/windows/ZELKSrv.evt";
    std::string log;
    ReadWholeFile(logPath, &log);
    printf("%s:\n%s", logPath.c_str(), log.empty() ? "(nothing logged)\n" : log.c_str());
    std::error_code missing;
    const uintmax_t eventBytes = std::filesystem::file_size(eventPath, missing);
    printf("%s: %ju records\n", eventPath.c_str(), missing ? 0 : eventBytes / 91);
    printf("frames fed to the guard: %u, dropped: %u\n", outcome.FramesFed, outcome.FramesDropped);

    std::vector<PcapRecord> records;
    for (const WireFrame& frame : outcome.CorrectionFrames) {
        records.push_back(PcapRecord{frame.TimeMilliseconds, frame.Bytes});
    }
    if (!WritePcapFile(pcapPath, records)) {
        fprintf(stderr, "zelk service: cannot write %s\n", pcapPath.c_str());
        return 1;
    }
    printf("correction frames sent: %zu (%s)\n", outcome.CorrectionFrames.size(), pcapPath.c_str());
    return 0;
}
