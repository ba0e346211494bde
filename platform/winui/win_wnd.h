// A small window-class layer of our own over plain Win32, in the shape the agent is written against:
// windows with message maps (CWnd), modal dialogs from a template (CDialog), the application object
// (CWinApp, win_app.h) and a report-view list (CListCtrl, list_ctrl.h). It holds only what the agent uses.
// The texts are UTF-16 and every call is the W form. Windows only: there is no host stand-in; the agent's
// behaviour is tested through its own seam instead.
#pragma once

#include <windows.h>

class CWnd;

// A message handler: the message's two parameters in, the window procedure's result out.
using MessageHandler = LRESULT (CWnd::*)(WPARAM, LPARAM);

// One row of a message map. For WM_COMMAND the row names a control id and matches its clicks (and the
// menu and accelerator commands of that id); for every other message `id` is 0.
struct MessageMapEntry {
    UINT message;
    UINT id;
    MessageHandler handler;
};

// A class's own rows, ending with a row whose message is 0, and the map of its base class.
struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* entries;
};

// A handler of a derived window class as a map entry's handler.
template <typename Window> MessageHandler MapHandler(LRESULT (Window::*handler)(WPARAM, LPARAM)) {
    return static_cast<MessageHandler>(handler);
}

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void SetFocus() { ::SetFocus(m_hWnd); }
    void SetIcon(HICON icon, bool big) {
        ::SendMessageW(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT milliseconds) {
        return ::SetTimer(m_hWnd, id, milliseconds, nullptr);
    }

protected:
    // The rows this class answers; a derived class chains its own map to its base's.
    virtual const MessageMap* GetMessageMap() const;
    // Every message of a subclassed window: the first matching map row answers it, else Default().
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The message being handled, given to the window procedure the window had before it was subclassed.
    LRESULT Default();
    // Routes the window's messages through WindowProc from now on.
    void SubclassWindow(HWND window);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_previousProc = nullptr;
    MSG m_current{};
};
