// A stand-in for the agent's window, list, tray icon, message boxes and files: it keeps what the dialog
// did, and answers message boxes and file reads as a test sets it up.
#pragma once

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "agent/dialog/agent_ui.h"

struct FakeListRow {
    std::u16string timeText;
    std::u16string eventText;
};

struct FakeMessageBox {
    std::u16string text;
    std::u16string caption;
    MessageBoxStyle style;
};

struct FakeBalloon {
    std::u16string text;
    bool modify;
};

class FakeAgentUi : public AgentUi {
public:
    void ShowOnScreen() override { visible = true; }
    void HideFromScreen() override {
        visible = false;
        inFront = false;
    }
    void BringToFront() override { inFront = true; }
    void PostToTray() override { ++postedToTray; }
    void StartPollTimer(uint32_t milliseconds) override { timerMilliseconds = milliseconds; }

    void ListSetExtendedStyle(uint32_t style) override { listExtendedStyle = style; }
    void ListAddColumn(const std::u16string& caption, int width) override {
        columns.push_back({caption, width});
    }
    void ListDeleteAllRows() override {
        rows.clear();
        selectedRow = -1;
    }
    void ListInsertTopRow(const char16_t* timeText, const char16_t* eventText) override {
        rows.insert(rows.begin(), {timeText, eventText});
        if (selectedRow >= 0) {
            ++selectedRow;
        }
    }
    int ListRowCount() override { return static_cast<int>(rows.size()); }
    void ListSelectRow(int row) override { selectedRow = row; }
    void ListTakeFocus() override { ++listFocused; }

    MessageBoxAnswer ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                MessageBoxStyle style) override {
        messageBoxes.push_back({text, caption, style});
        if (style == MessageBoxStyle::InformationOk) {
            return MessageBoxAnswer::Ok;
        }
        const MessageBoxAnswer answer = answers.empty() ? MessageBoxAnswer::No : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return answer;
    }
    void UpdateTrayIcon(const std::u16string& balloonText, bool modify) override {
        balloons.push_back({balloonText, modify});
    }

    std::u16string WindowsDirectory() override { return u"C:\\windows"; }
    bool ReadRecordFile(const std::u16string& path, size_t recordSize, FileBytes& bytes) override {
        const auto file = files.find(path);
        if (file == files.end() || file->second.size() < recordSize) {
            return false;
        }
        bytes.Length = file->second.size();
        bytes.Data.reset(new uint8_t[bytes.Length]);
        memcpy(bytes.Data.get(), file->second.data(), bytes.Length);
        return true;
    }
    bool FileAttributesReadable(const std::u16string& path) override { return files.count(path) != 0; }
    void ShellOpen(const std::u16string& path) override {
        opened.push_back(path);
        messageBoxesBeforeOpen = messageBoxes.size();
    }

    // Window
    bool visible = false;
    bool inFront = false;
    int postedToTray = 0;
    uint32_t timerMilliseconds = 0;
    // List
    uint32_t listExtendedStyle = 0;
    std::vector<std::pair<std::u16string, int>> columns;
    std::vector<FakeListRow> rows; // row 0 on top
    int selectedRow = -1;
    int listFocused = 0;
    // Shell and boxes
    std::vector<FakeMessageBox> messageBoxes;
    std::deque<MessageBoxAnswer> answers; // for Yes/No boxes, in order; No once they run out
    std::vector<FakeBalloon> balloons;
    std::vector<std::u16string> opened;
    size_t messageBoxesBeforeOpen = 0;
    // Files by full path
    std::map<std::u16string, std::vector<uint8_t>> files;
};
