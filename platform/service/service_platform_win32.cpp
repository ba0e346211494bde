// The service's platform seam over Win32: the IP helper, device I/O, the service control manager, the
// registry, files, the clock, Sleep and CreateThread.
#include "platform/service/service_platform_win32.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <string.h>
#include <time.h>

#include <new>

namespace {

template <size_t N, size_t M> void CopyText(char (&target)[N], const char (&source)[M]) {
    const size_t length = strnlen(source, M) < N - 1 ? strnlen(source, M) : N - 1;
    memcpy(target, source, length);
    target[length] = '\0';
}

HANDLE AsHandle(PlatformHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
SC_HANDLE AsServiceHandle(PlatformHandle handle) {
    return reinterpret_cast<SC_HANDLE>(handle);
}
HKEY AsKey(PlatformHandle handle) {
    return reinterpret_cast<HKEY>(handle);
}
template <typename T> PlatformHandle AsPlatform(T handle) {
    return reinterpret_cast<PlatformHandle>(handle);
}

// The dispatcher and the handler call plain Win32 routines; these carry the calls on to the service's own.
ServiceEntryRoutine g_serviceEntry = nullptr;
void* g_serviceContext = nullptr;
ServiceControlRoutine g_controlRoutine = nullptr;
void* g_controlContext = nullptr;

VOID WINAPI ServiceMainTrampoline(DWORD /*argc*/, LPWSTR* /*argv*/) {
    g_serviceEntry(g_serviceContext);
}
VOID WINAPI ControlTrampoline(DWORD control) {
    g_controlRoutine(control, g_controlContext);
}

struct ThreadStart {
    ThreadRoutine Routine;
    void* Context;
};

DWORD WINAPI ThreadTrampoline(LPVOID parameter) {
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    start.Routine(start.Context);
    return 0;
}

class Win32Platform : public ServicePlatform {
public:
    // The buffer starts at one adapter entry and is enlarged once, to the size the system asks for.
    bool ReadAdapterList(std::vector<AdapterInfo>* adapters) override {
        HANDLE heap = GetProcessHeap();
        ULONG size = sizeof(IP_ADAPTER_INFO);
        void* buffer = HeapAlloc(heap, 0, size);
        if (buffer == nullptr) {
            return false;
        }
        if (GetAdaptersInfo(static_cast<IP_ADAPTER_INFO*>(buffer), &size) == ERROR_BUFFER_OVERFLOW) {
            HeapFree(heap, 0, buffer);
            buffer = HeapAlloc(heap, 0, size);
            if (buffer == nullptr) {
                return false;
            }
        }
        if (GetAdaptersInfo(static_cast<IP_ADAPTER_INFO*>(buffer), &size) != NO_ERROR) {
            HeapFree(heap, 0, buffer);
            return false;
        }
        adapters->clear();
        for (const IP_ADAPTER_INFO* adapter = static_cast<IP_ADAPTER_INFO*>(buffer); adapter != nullptr;
             adapter = adapter->Next) {
            AdapterInfo info{};
            CopyText(info.Name, adapter->AdapterName);
            memcpy(info.Address, adapter->Address, sizeof(info.Address));
            info.AddressLength = adapter->AddressLength;
            CopyText(info.IpText, adapter->IpAddressList.IpAddress.String);
            CopyText(info.GatewayText, adapter->GatewayList.IpAddress.String);
            adapters->push_back(info);
        }
        HeapFree(heap, 0, buffer);
        return true;
    }

    uint32_t ParseDottedAddress(const char* text) override { return inet_addr(text); }

    bool ResolveArp(uint32_t destination, uint32_t source, uint8_t mac[8], uint32_t* length) override {
        ULONG answer[2] = {};
        ULONG answerLength = 6;
        if (SendARP(destination, source, answer, &answerLength) != NO_ERROR) {
            return false;
        }
        memcpy(mac, answer, 8);
        *length = answerLength;
        return true;
    }

    PlatformHandle OpenDevice(const char* path, DeviceAccess access) override {
        const bool readWrite = access == DEVICE_ACCESS_READ_WRITE;
        HANDLE device = CreateFileA(path, readWrite ? GENERIC_READ | GENERIC_WRITE : 0,
                                    readWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return device == INVALID_HANDLE_VALUE ? 0 : AsPlatform(device);
    }

    bool ControlDevice(PlatformHandle device, uint32_t code, const void* input, uint32_t inputLength,
                       void* output, uint32_t outputLength, uint32_t* returned) override {
        DWORD bytes = 0;
        const BOOL succeeded = DeviceIoControl(AsHandle(device), code, const_cast<void*>(input), inputLength,
                                               output, outputLength, &bytes, nullptr);
        *returned = bytes;
        return succeeded != FALSE;
    }

    bool WriteDevice(PlatformHandle device, const void* bytes, uint32_t length, uint32_t* written) override {
        DWORD count = 0;
        const BOOL succeeded = WriteFile(AsHandle(device), bytes, length, &count, nullptr);
        *written = count;
        return succeeded != FALSE;
    }

    void CloseDevice(PlatformHandle device) override { CloseHandle(AsHandle(device)); }

    PlatformHandle OpenServiceManager() override {
        return AsPlatform(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    }

    PlatformHandle CreateServiceRegistration(PlatformHandle manager, const wchar_t* name,
                                             const wchar_t* displayName,
                                             const wchar_t* programPath) override {
        return AsPlatform(CreateServiceW(AsServiceHandle(manager), name, displayName, SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                         SERVICE_ERROR_NORMAL, programPath, nullptr, nullptr, nullptr,
                                         nullptr, nullptr));
    }

    PlatformHandle OpenServiceRegistration(PlatformHandle manager, const wchar_t* name) override {
        return AsPlatform(OpenServiceW(AsServiceHandle(manager), name, SERVICE_ALL_ACCESS));
    }

    ServiceStartOutcome StartServiceRegistration(PlatformHandle service) override {
        if (StartServiceA(AsServiceHandle(service), 0, nullptr)) {
            return SERVICE_START_DONE;
        }
        return GetLastError() == ERROR_SERVICE_ALREADY_RUNNING ? SERVICE_START_ALREADY_RUNNING
                                                               : SERVICE_START_REFUSED;
    }

    void CloseServiceManagerHandle(PlatformHandle handle) override {
        CloseServiceHandle(AsServiceHandle(handle));
    }

    PlatformHandle OpenRegistryKey(const wchar_t* path) override {
        HKEY key = nullptr;
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS
                   ? AsPlatform(key)
                   : 0;
    }

    bool DeleteRegistryValue(PlatformHandle key, const wchar_t* name) override {
        return RegDeleteValueW(AsKey(key), name) == ERROR_SUCCESS;
    }

    bool SetRegistryDword(PlatformHandle key, const wchar_t* name, uint32_t value) override {
        const DWORD data = value;
        return RegSetValueExW(AsKey(key), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                              sizeof(data)) == ERROR_SUCCESS;
    }

    void CloseRegistryKey(PlatformHandle key) override { RegCloseKey(AsKey(key)); }

    bool RunServiceDispatcher(const wchar_t* name, ServiceEntryRoutine entry, void* context) override {
        g_serviceEntry = entry;
        g_serviceContext = context;
        SERVICE_TABLE_ENTRYW table[2] = {{const_cast<LPWSTR>(name), ServiceMainTrampoline},
                                         {nullptr, nullptr}};
        return StartServiceCtrlDispatcherW(table) != FALSE;
    }

    PlatformHandle RegisterServiceControlHandler(const wchar_t* name, ServiceControlRoutine handler,
                                                 void* context) override {
        g_controlRoutine = handler;
        g_controlContext = context;
        return AsPlatform(RegisterServiceCtrlHandlerW(name, ControlTrampoline));
    }

    bool ReportServiceStatus(PlatformHandle statusHandle, const ServiceStatusReport& status) override {
        SERVICE_STATUS report{};
        report.dwServiceType = status.ServiceType;
        report.dwCurrentState = status.CurrentState;
        report.dwControlsAccepted = status.ControlsAccepted;
        report.dwWin32ExitCode = status.Win32ExitCode;
        report.dwServiceSpecificExitCode = status.ServiceSpecificExitCode;
        report.dwCheckPoint = status.CheckPoint;
        report.dwWaitHint = status.WaitHint;
        return SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(statusHandle), &report) != FALSE;
    }

    bool OwnProgramPath(wchar_t* path, size_t capacity) override {
        const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(capacity));
        // A full buffer means the path was cut short.
        return length != 0 && length < capacity;
    }

    bool RemoveFile(const wchar_t* path) override { return DeleteFileW(path) != FALSE; }

    bool CopyFileReplacing(const wchar_t* source, const wchar_t* target) override {
        return CopyFileW(source, target, FALSE) != FALSE;
    }

    bool FileAttributesReadable(const wchar_t* path) override {
        return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    }

    int64_t CurrentTimeSeconds() override { return static_cast<int64_t>(_time64(nullptr)); }

    bool SleepMilliseconds(uint32_t milliseconds) override {
        Sleep(milliseconds);
        return true;
    }

    bool StartThread(ThreadRoutine routine, void* context) override {
        ThreadStart* start = new (std::nothrow) ThreadStart{routine, context};
        if (start == nullptr) {
            return false;
        }
        HANDLE thread = CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
        if (thread == nullptr) {
            delete start;
            return false;
        }
        CloseHandle(thread);
        return true;
    }
};

} // namespace

ServicePlatform& Win32ServicePlatform() {
    static Win32Platform platform;
    return platform;
}
