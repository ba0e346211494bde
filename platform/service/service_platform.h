// What the protection service needs from Windows, and nothing more: the adapter list and ARP, the two
// devices, the service control manager and its registry key, its own program file, the clock, sleeping
// and threads.
//
// Two implementations sit side by side in this folder: service_platform_win32.cpp over the Win32 calls,
// built into ZELKSrv.exe, and simulated_host.h, a simulated Windows host with a virtual clock for tests
// and the scenario runner. Service code never tests the platform itself.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// A handle to a device, a service control manager object or a registry key; 0 is "none".
using PlatformHandle = uintptr_t;

// One adapter as the adapter list gives it: texts of its first IPv4 address and first gateway, either of
// which may be empty.
struct AdapterInfo {
    char Name[260]; // zero-terminated, a brace-enclosed GUID string in practice
    uint8_t Address[8];
    uint32_t AddressLength;
    char IpText[16];
    char GatewayText[16];
};

// How a device is opened: the guard's control device asks for no access and no sharing, the protocol
// driver's device for read and write access, shared for reading and writing.
enum DeviceAccess : uint32_t { DEVICE_ACCESS_CONTROL_ONLY = 0, DEVICE_ACCESS_READ_WRITE = 1 };

enum ServiceStartOutcome : uint32_t {
    SERVICE_START_DONE = 0,
    SERVICE_START_ALREADY_RUNNING = 1, // error 1056
    SERVICE_START_REFUSED = 2
};

// The service status as the service reports it to the service control manager.
struct ServiceStatusReport {
    uint32_t ServiceType;
    uint32_t CurrentState;
    uint32_t ControlsAccepted;
    uint32_t Win32ExitCode;
    uint32_t ServiceSpecificExitCode;
    uint32_t CheckPoint;
    uint32_t WaitHint;
};
constexpr uint32_t ZELK_SERVICE_OWN_PROCESS = 0x10;
constexpr uint32_t ZELK_SERVICE_START_PENDING = 2;
constexpr uint32_t ZELK_SERVICE_RUNNING = 4;
constexpr uint32_t ZELK_SERVICE_CONTROL_INTERROGATE = 4;

using ThreadRoutine = void (*)(void* context);
using ServiceEntryRoutine = void (*)(void* context);
using ServiceControlRoutine = void (*)(uint32_t control, void* context);

class ServicePlatform {
public:
    virtual ~ServicePlatform() = default;

    // The adapters in list order; false (and `adapters` untouched) when the list cannot be read.
    virtual bool ReadAdapterList(std::vector<AdapterInfo>* adapters) = 0;
    // Dotted text to an IPv4 address in network order (first octet in the lowest byte); 0 for 0.0.0.0.
    virtual uint32_t ParseDottedAddress(const char* text) = 0;
    // ARP for `destination` from `source` into an 8-byte buffer; true on success, with the length set.
    virtual bool ResolveArp(uint32_t destination, uint32_t source, uint8_t mac[8], uint32_t* length) = 0;

    // An existing device by its user-mode path ("\\.\ZELKARP"); 0 when it cannot be opened.
    virtual PlatformHandle OpenDevice(const char* path, DeviceAccess access) = 0;
    // One synchronous control request; true on success, with the bytes returned.
    virtual bool ControlDevice(PlatformHandle device, uint32_t code, const void* input, uint32_t inputLength,
                               void* output, uint32_t outputLength, uint32_t* returned) = 0;
    // One synchronous write; true when the device reports success.
    virtual bool WriteDevice(PlatformHandle device, const void* bytes, uint32_t length,
                             uint32_t* written) = 0;
    virtual void CloseDevice(PlatformHandle device) = 0;

    // The local service control manager with full access; 0 on failure.
    virtual PlatformHandle OpenServiceManager() = 0;
    // An own-process service for start on demand, normal error control, running as local system.
    virtual PlatformHandle CreateServiceRegistration(PlatformHandle manager, const wchar_t* name,
                                                     const wchar_t* displayName,
                                                     const wchar_t* programPath) = 0;
    virtual PlatformHandle OpenServiceRegistration(PlatformHandle manager, const wchar_t* name) = 0;
    // Asks the service to start, with no arguments.
    virtual ServiceStartOutcome StartServiceRegistration(PlatformHandle service) = 0;
    virtual void CloseServiceManagerHandle(PlatformHandle handle) = 0;

    // A key under the local machine hive with full access; 0 when it cannot be opened.
    virtual PlatformHandle OpenRegistryKey(const wchar_t* path) = 0;
    virtual bool DeleteRegistryValue(PlatformHandle key, const wchar_t* name) = 0;
    virtual bool SetRegistryDword(PlatformHandle key, const wchar_t* name, uint32_t value) = 0;
    virtual void CloseRegistryKey(PlatformHandle key) = 0;

    // Hands this thread to the service dispatcher with one entry; false when the process was not started
    // by the service control manager. Otherwise returns only when the service process ends.
    virtual bool RunServiceDispatcher(const wchar_t* name, ServiceEntryRoutine entry, void* context) = 0;
    // The status handle for `name`; 0 on failure.
    virtual PlatformHandle RegisterServiceControlHandler(const wchar_t* name, ServiceControlRoutine handler,
                                                         void* context) = 0;
    virtual bool ReportServiceStatus(PlatformHandle statusHandle, const ServiceStatusReport& status) = 0;

    // The full path of this program's own file, at most `capacity` units with the terminator; false on
    // failure.
    virtual bool OwnProgramPath(wchar_t* path, size_t capacity) = 0;
    virtual bool RemoveFile(const wchar_t* path) = 0;
    // Copies `source` over `target`, replacing what is there.
    virtual bool CopyFileReplacing(const wchar_t* source, const wchar_t* target) = 0;
    virtual bool FileAttributesReadable(const wchar_t* path) = 0;

    // The current time in whole seconds since 1970-01-01 00:00 UTC.
    virtual int64_t CurrentTimeSeconds() = 0;
    // Pauses the calling thread. False only when a simulated host is shutting down: the caller then
    // returns at once. Windows always answers true.
    virtual bool SleepMilliseconds(uint32_t milliseconds) = 0;
    // Runs `routine(context)` on a new thread; false when no thread could be started.
    virtual bool StartThread(ThreadRoutine routine, void* context) = 0;
};
