#include "platform/winui/win_wnd.h"

namespace {

const MessageMapEntry kNoEntries[] = {{0, 0, nullptr}};
const MessageMap kWndMap = {nullptr, kNoEntries};

bool Matches(const MessageMapEntry& entry, UINT message, WPARAM wParam) {
    if (entry.message != message) {
        return false;
    }
    return message != WM_COMMAND || (LOWORD(wParam) == entry.id && HIWORD(wParam) == BN_CLICKED);
}

} // namespace

const MessageMap* CWnd::GetMessageMap() const {
    return &kWndMap;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (const MessageMapEntry* entry = map->entries; entry->message != 0; ++entry) {
            if (Matches(*entry, message, wParam)) {
                return (this->*entry->handler)(wParam, lParam);
            }
        }
    }
    return Default();
}

LRESULT CWnd::Default() {
    return ::CallWindowProcW(m_previousProc, m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
}

void CWnd::SubclassWindow(HWND window) {
    m_hWnd = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_previousProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = reinterpret_cast<CWnd*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    // Handlers may send messages to their own window: each nested message keeps its own "current".
    const MSG outer = wnd->m_current;
    wnd->m_current.message = message;
    wnd->m_current.wParam = wParam;
    wnd->m_current.lParam = lParam;
    const LRESULT result = wnd->WindowProc(message, wParam, lParam);
    wnd->m_current = outer;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(wnd->m_previousProc));
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        wnd->m_hWnd = nullptr;
    }
    return result;
}
