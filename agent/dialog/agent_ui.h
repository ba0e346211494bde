// What the agent's dialog needs of the window system, the shell and the files: the seam between the
// dialog's behaviour (agent_dialog.h) and the Win32 dialog it runs in. Texts are UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

enum class MessageBoxStyle {
    InformationOk, // information icon, OK button
    QuestionYesNo, // question icon, Yes and No buttons
};

enum class MessageBoxAnswer { Ok, Yes, No };

// The whole records of a file, read in one go.
struct FileBytes {
    std::unique_ptr<uint8_t[]> Data;
    size_t Length = 0;
};

class AgentUi {
public:
    virtual ~AgentUi() = default;

    // Shows the window at its current size and position.
    virtual void ShowOnScreen() = 0;
    // Hides the window.
    virtual void HideFromScreen() = 0;
    // Makes the window the foreground window.
    virtual void BringToFront() = 0;
    // Posts the "into the tray" message to the own window; it is handled after the current message.
    virtual void PostToTray() = 0;
    // Starts the periodic poll timer.
    virtual void StartPollTimer(uint32_t milliseconds) = 0;

    // Replaces all extended styles of the list.
    virtual void ListSetExtendedStyle(uint32_t style) = 0;
    // Appends a left-aligned column.
    virtual void ListAddColumn(const std::u16string& caption, int width) = 0;
    virtual void ListDeleteAllRows() = 0;
    // Inserts a row at the top with the texts of both columns.
    virtual void ListInsertTopRow(const char16_t* timeText, const char16_t* eventText) = 0;
    virtual int ListRowCount() = 0;
    // Gives a row the selected and the focused state; the single selection ends any other.
    virtual void ListSelectRow(int row) = 0;
    // Gives the list the keyboard focus.
    virtual void ListTakeFocus() = 0;

    // A message box owned by the window; returns the button pressed.
    virtual MessageBoxAnswer ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                                            MessageBoxStyle style) = 0;
    // Adds the tray icon (modify false) or modifies it, with a balloon of `balloonText`.
    virtual void UpdateTrayIcon(const std::u16string& balloonText, bool modify) = 0;

    // The Windows directory, empty when it cannot be found.
    virtual std::u16string WindowsDirectory() = 0;
    // The whole records of a file in the Windows directory, read with writers shut out; false when it
    // cannot be opened, holds no whole record or cannot be read.
    virtual bool ReadRecordFile(const std::u16string& path, size_t recordSize, FileBytes& bytes) = 0;
    // Whether the attributes of a file in the Windows directory can be read.
    virtual bool FileAttributesReadable(const std::u16string& path) = 0;
    // The shell's "open" verb on a file in the Windows directory, in a normal window.
    virtual void ShellOpen(const std::u16string& path) = 0;
};
