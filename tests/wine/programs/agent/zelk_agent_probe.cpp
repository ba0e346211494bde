// Looks at and works the running agent's window from another process, for the agent's Wine tests.
//
//   zelk_agent_probe state                 "windows=N visible=0|1 foreground=0|1"
//   zelk_agent_probe wait visible|hidden S  exit 0 once the window is so, 1 after S seconds
//   zelk_agent_probe rows                  each row "selected|-<TAB>time<TAB>event", top first, UTF-8
//   zelk_agent_probe click ID              a click on the dialog's button ID (posted: nothing blocks)
//   zelk_agent_probe key VK                a key press on the list, through the agent's message loop
//   zelk_agent_probe close                 the window's close command (WM_CLOSE)
//   zelk_agent_probe screenshot PATH       the whole screen, a 24-bit BMP file
//   zelk_agent_probe resources EXE         the manifest, icon 128's images and dialog 102 of a program
//
// The list's texts live in the agent's memory: the request and its text buffer are placed there
// (VirtualAllocEx) and read back (ReadProcessMemory).
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kCaption[] = L"Zelk ARP Protector 1.1";
const int kEventList = 1000;
const int kTextUnits = 1024;

struct AgentWindows {
    int count = 0;
    HWND first = nullptr;
};

BOOL CALLBACK CountAgentWindow(HWND window, LPARAM context) {
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (std::wcscmp(caption, kCaption) == 0) {
        AgentWindows* found = reinterpret_cast<AgentWindows*>(context);
        if (found->count++ == 0) {
            found->first = window;
        }
    }
    return TRUE;
}

AgentWindows FindAgentWindows() {
    AgentWindows found;
    EnumWindows(&CountAgentWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Print(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                           0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), length, nullptr,
                        nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

int State(HWND agent, int count) {
    std::printf("windows=%d visible=%d foreground=%d\n", count, IsWindowVisible(agent) ? 1 : 0,
                GetForegroundWindow() == agent ? 1 : 0);
    return 0;
}

int Wait(HWND agent, bool visible, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        if ((IsWindowVisible(agent) != FALSE) == visible) {
            return 0;
        }
        Sleep(100);
    }
    return 1;
}

// One column's text of one row, read through a request placed in the agent's own memory.
std::wstring RemoteItemText(HANDLE process, HWND list, void* remote, int row, int column) {
    auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = remoteText;
    item.cchTextMax = kTextUnits;
    std::vector<wchar_t> text(kTextUnits, L'\0');
    if (!WriteProcessMemory(process, remote, &item, sizeof(item), nullptr)) {
        return L"?";
    }
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(process, remoteText, text.data(), kTextUnits * sizeof(wchar_t), nullptr);
    text[kTextUnits - 1] = L'\0';
    return text.data();
}

int Rows(HWND agent) {
    HWND list = GetDlgItem(agent, kEventList);
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) {
        std::fprintf(stderr, "cannot open the agent's process\n");
        return 1;
    }
    void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kTextUnits * sizeof(wchar_t),
                                  MEM_COMMIT, PAGE_READWRITE);
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count && remote != nullptr; ++row) {
        const bool selected =
            SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0;
        Print(std::wstring(selected ? L"selected" : L"-") + L"\t" +
              RemoteItemText(process, list, remote, row, 0) + L"\t" +
              RemoteItemText(process, list, remote, row, 1) + L"\n");
    }
    if (remote != nullptr) {
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return remote != nullptr ? 0 : 1;
}

int Screenshot(const wchar_t* path) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path, L"wb");
    if (out == nullptr) {
        return 1;
    }
    std::fwrite(&header, sizeof(header), 1, out);
    std::fwrite(&info, sizeof(info), 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
    return 0;
}

// Reads a dialog template (the extended form) item by item.
class TemplateReader {
public:
    TemplateReader(const BYTE* bytes, DWORD size) : m_bytes(bytes), m_size(size) {}

    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return Take<short>(); }
    BYTE Byte() { return Take<BYTE>(); }
    std::wstring String() {
        std::wstring text;
        for (WORD unit = Word(); unit != 0 && m_at < m_size; unit = Word()) {
            text += static_cast<wchar_t>(unit);
        }
        return text;
    }
    // A name or an ordinal ("#N"); empty when absent.
    std::wstring NameOrOrdinal() {
        const WORD first = Peek();
        if (first == 0) {
            Word();
            return L"";
        }
        if (first == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return String();
    }
    void AlignToDword() { m_at = (m_at + 3) & ~static_cast<DWORD>(3); }
    void Skip(DWORD count) { m_at += count; }
    bool AtEnd() const { return m_at >= m_size; }

private:
    WORD Peek() const { return m_at + 2 <= m_size ? *reinterpret_cast<const WORD*>(m_bytes + m_at) : 0; }
    template <typename Value> Value Take() {
        Value value{};
        if (m_at + sizeof(Value) <= m_size) {
            std::memcpy(&value, m_bytes + m_at, sizeof(Value));
        }
        m_at += static_cast<DWORD>(sizeof(Value));
        return value;
    }

    const BYTE* m_bytes;
    DWORD m_size;
    DWORD m_at = 0;
};

const BYTE* ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name, DWORD* size) {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) {
        return nullptr;
    }
    *size = SizeofResource(module, found);
    return static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
}

int Resources(const wchar_t* path) {
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load the program's resources\n");
        return 1;
    }
    DWORD size = 0;
    const BYTE* manifest = ResourceBytes(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), &size);
    if (manifest != nullptr) {
        std::string text(reinterpret_cast<const char*>(manifest), size);
        for (char& c : text) {
            c = (c == '\r' || c == '\n') ? ' ' : c;
        }
        std::printf("manifest %s\n", text.c_str());
    }
    const BYTE* group = ResourceBytes(module, MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(128), &size);
    if (group != nullptr && size >= 6) {
        const WORD count = *reinterpret_cast<const WORD*>(group + 4);
        std::printf("icon 128");
        for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= size; ++i) {
            const BYTE* entry = group + 6 + 14 * i;
            const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
            std::printf(" %dx%dx%u", entry[0] == 0 ? 256 : entry[0], entry[1] == 0 ? 256 : entry[1], bits);
        }
        std::printf("\n");
    }
    const BYTE* dialog = ResourceBytes(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(102), &size);
    if (dialog != nullptr) {
        TemplateReader reader(dialog, size);
        reader.Skip(8); // version, signature, help id
        reader.Dword(); // extended style
        const DWORD style = reader.Dword();
        const WORD items = reader.Word();
        const short x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
        reader.NameOrOrdinal(); // menu
        reader.NameOrOrdinal(); // class
        const std::wstring caption = reader.String();
        const WORD points = reader.Word();
        reader.Word();
        reader.Byte();
        reader.Byte();
        const std::wstring font = reader.String();
        std::printf("dialog 102 style=0x%08lX %d,%d,%d,%d %u \"", static_cast<unsigned long>(style), x, y, cx,
                    cy, points);
        Print(font + L"\" \"" + caption + L"\"\n");
        for (WORD i = 0; i < items && !reader.AtEnd(); ++i) {
            reader.AlignToDword();
            reader.Dword(); // help id
            reader.Dword(); // extended style
            const DWORD itemStyle = reader.Dword();
            const short ix = reader.Short(), iy = reader.Short(), icx = reader.Short(), icy = reader.Short();
            const LONG id = static_cast<LONG>(reader.Dword());
            const std::wstring itemClass = reader.NameOrOrdinal();
            const std::wstring title = reader.NameOrOrdinal();
            reader.Skip(reader.Word());
            std::printf("control %ld ", id);
            Print(itemClass);
            std::printf(" %d,%d,%d,%d style=0x%08lX \"", ix, iy, icx, icy,
                        static_cast<unsigned long>(itemStyle));
            Print(title + L"\"\n");
        }
    }
    FreeLibrary(module);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zelk_agent_probe state|wait|rows|click|key|close|screenshot ...\n");
        return 2;
    }
    const std::wstring command = argv[1];
    if (command == L"resources" && argc == 3) {
        return Resources(argv[2]);
    }
    const AgentWindows agent = FindAgentWindows();
    if (command == L"screenshot" && argc == 3) {
        return Screenshot(argv[2]);
    }
    if (command == L"state") {
        return State(agent.first, agent.count);
    }
    if (agent.first == nullptr) {
        std::fprintf(stderr, "no agent window\n");
        return 1;
    }
    if (command == L"wait" && argc == 4) {
        return Wait(agent.first, std::wcscmp(argv[2], L"visible") == 0,
                    static_cast<int>(std::wcstol(argv[3], nullptr, 10)));
    }
    if (command == L"rows") {
        return Rows(agent.first);
    }
    if (command == L"click" && argc == 3) {
        const int id = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
        PostMessageW(agent.first, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(agent.first, id)));
        return 0;
    }
    if (command == L"key" && argc == 3) {
        const WPARAM key = static_cast<WPARAM>(std::wcstol(argv[2], nullptr, 10));
        HWND list = GetDlgItem(agent.first, kEventList);
        PostMessageW(list, WM_KEYDOWN, key, 1);
        PostMessageW(list, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
        return 0;
    }
    if (command == L"close") {
        PostMessageW(agent.first, WM_CLOSE, 0, 0);
        return 0;
    }
    std::fprintf(stderr, "unknown command\n");
    return 2;
}
