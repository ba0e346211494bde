// A simulated Windows host for the service: adapters and ARP answers set up by the caller, the guard's
// control device \\.\ZELKARP served in-process by the guard core, a stand-in for the companion protocol
// driver's \\.\ZELKPROT that puts every write on the attached adapter's wire, a service control manager
// with its registry key, files under a host directory, and a virtual clock (simulated_scheduler.h) that
// the guard's clock follows.
//
// The guard core and the files' stand-ins keep global state, so one simulated host exists at a time.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/zelk_records.h"
#include "driver/guard/arp_guard.h"
#include "platform/service/service_platform.h"
#include "platform/service/simulated_scheduler.h"

struct SimulatedAdapter {
    std::string Name; // "{...}"
    MacAddress Mac;
    std::string IpText;      // "" for none
    std::string GatewayText; // "" for none
};

// A frame that the protocol driver put on an adapter's wire.
struct WireFrame {
    int64_t TimeMilliseconds;
    std::string Adapter;
    std::vector<uint8_t> Bytes;
};

// Where \\.\ZELKARP's requests go when a driver's own control device serves them instead of the guard
// core in-process (the whole system on the simulated NDIS host). Handles are the route's own.
class GuardDeviceRoute {
public:
    virtual ~GuardDeviceRoute() = default;
    // Null when the device does not exist.
    virtual void* Open() = 0;
    virtual bool Control(void* handle, uint32_t code, const void* input, uint32_t inputLength, void* output,
                         uint32_t outputLength, uint32_t* returned) = 0;
    virtual void Close(void* handle) = 0;
};

// One control request that reached \\.\ZELKARP.
struct GuardDeviceRequest {
    int64_t TimeMilliseconds;
    uint32_t Code;
    uint32_t InputLength;
    uint32_t OutputLength;
    bool Succeeded;
    uint32_t Returned;
};

struct ServiceStartRecord {
    int64_t TimeMilliseconds;
    std::wstring Name;
    ServiceStartOutcome Outcome;
};

struct SimulatedService {
    std::wstring Name;
    std::wstring DisplayName;
    std::wstring ProgramPath;
    bool Running;
};

// What the simulated host refuses, for the failure paths.
struct SimulatedFailures {
    bool AdapterList = false;    // the adapter list cannot be read
    bool ServiceManager = false; // the service control manager cannot be opened
    bool CreateService = false;  // service creation is refused
    bool SetRegistry = false;    // registry values cannot be written
    bool StartService = false;   // every start request is refused
    bool ProtocolReady = false;  // the protocol driver answers READY with failure
    bool ControlHandler = false; // the control handler cannot be registered
    bool StatusReport = false;   // the status cannot be reported
    bool StartThread = false;    // no thread can be started
};

class SimulatedHost : public ServicePlatform {
public:
    // Files live under `root` (the Windows directory is root/windows); the clock starts at
    // `startSeconds` since 1970. The companion protocol driver is installed (its service stopped) and
    // the guard's device is present.
    SimulatedHost(const std::string& root, int64_t startSeconds);
    ~SimulatedHost() override;

    // Set-up.
    void AddAdapter(const SimulatedAdapter& adapter);
    // ARP for `ip` answers `mac`, with `length` bytes reported.
    void SetArpAnswer(const Ipv4Address& ip, const MacAddress& mac, uint32_t length = 6);
    void SetGuardDevicePresent(bool present);
    // From now on \\.\ZELKARP opens through `route` (which outlives the host); null serves it in-process.
    void SetGuardDeviceRoute(GuardDeviceRoute* route);
    // The next READ_EVENTS request succeeds with exactly these bytes, whatever the guard holds.
    void QueueGuardReadAnswerForTest(const std::vector<uint8_t>& bytes);
    void SetFailures(const SimulatedFailures& failures);
    // The process was started by the service control manager, so the dispatcher runs the service entry.
    void SetStartedByServiceManager(bool started);
    // The host path of this program's own file ("ZELKSrv.exe" in the caller's build).
    void SetOwnProgram(const std::string& hostPath);
    // A file in use by a running program: it can be neither deleted nor overwritten.
    void SetFileInUse(const std::string& hostPath, bool inUse);
    void RegisterService(const SimulatedService& service);
    void SetRegistryDword(const std::wstring& key, const std::wstring& name, uint32_t value);

    // The guard inspects `frame` as the driver would on `adapter`; for an outbound frame the sending
    // process is `processId` with image `processName` (none when the name is empty).
    GuardVerdict FeedFrame(const std::string& adapter, const uint8_t* frame, uint32_t length,
                           GuardDirection direction, uint64_t processId = 0,
                           const std::string& processName = std::string());

    // Time.
    SimulatedScheduler& Scheduler() { return m_scheduler; }
    int64_t NowMilliseconds() { return m_scheduler.NowMilliseconds(); }
    void AdvanceTo(int64_t milliseconds) { m_scheduler.AdvanceTo(milliseconds); }
    void AdvanceBy(int64_t milliseconds) { m_scheduler.AdvanceTo(NowMilliseconds() + milliseconds); }
    void Shutdown() { m_scheduler.Shutdown(); }

    // What happened.
    std::string WindowsDirectory() const { return m_root + "/windows"; }
    std::vector<WireFrame> WireFrames();
    std::vector<GuardDeviceRequest> GuardRequests();
    std::vector<ServiceStartRecord> ServiceStarts();
    std::vector<ServiceStatusReport> StatusReports();
    std::vector<std::string> AttachedDeviceNames(); // every OPEN_ADAPTER name, as widened UTF-16 read back
    bool FindService(const std::wstring& name, SimulatedService* service);
    bool RegistryDword(const std::wstring& key, const std::wstring& name, uint32_t* value);
    uint32_t OpenHandleCount();
    // Delivers a control to the registered control handler, as the dispatcher would.
    void SendServiceControl(uint32_t control);
    // Every wire frame so far as a capture file (Ethernet); false when the file cannot be written.
    bool WriteWirePcap(const std::string& path);

    // ServicePlatform.
    bool ReadAdapterList(std::vector<AdapterInfo>* adapters) override;
    uint32_t ParseDottedAddress(const char* text) override;
    bool ResolveArp(uint32_t destination, uint32_t source, uint8_t mac[8], uint32_t* length) override;
    PlatformHandle OpenDevice(const char* path, DeviceAccess access) override;
    bool ControlDevice(PlatformHandle device, uint32_t code, const void* input, uint32_t inputLength,
                       void* output, uint32_t outputLength, uint32_t* returned) override;
    bool WriteDevice(PlatformHandle device, const void* bytes, uint32_t length, uint32_t* written) override;
    void CloseDevice(PlatformHandle device) override;
    PlatformHandle OpenServiceManager() override;
    PlatformHandle CreateServiceRegistration(PlatformHandle manager, const wchar_t* name,
                                             const wchar_t* displayName, const wchar_t* programPath) override;
    PlatformHandle OpenServiceRegistration(PlatformHandle manager, const wchar_t* name) override;
    ServiceStartOutcome StartServiceRegistration(PlatformHandle service) override;
    void CloseServiceManagerHandle(PlatformHandle handle) override;
    PlatformHandle OpenRegistryKey(const wchar_t* path) override;
    bool DeleteRegistryValue(PlatformHandle key, const wchar_t* name) override;
    bool SetRegistryDword(PlatformHandle key, const wchar_t* name, uint32_t value) override;
    void CloseRegistryKey(PlatformHandle key) override;
    bool RunServiceDispatcher(const wchar_t* name, ServiceEntryRoutine entry, void* context) override;
    PlatformHandle RegisterServiceControlHandler(const wchar_t* name, ServiceControlRoutine handler,
                                                 void* context) override;
    bool ReportServiceStatus(PlatformHandle statusHandle, const ServiceStatusReport& status) override;
    bool OwnProgramPath(wchar_t* path, size_t capacity) override;
    bool RemoveFile(const wchar_t* path) override;
    bool CopyFileReplacing(const wchar_t* source, const wchar_t* target) override;
    bool FileAttributesReadable(const wchar_t* path) override;
    int64_t CurrentTimeSeconds() override;
    bool SleepMilliseconds(uint32_t milliseconds) override;
    bool StartThread(ThreadRoutine routine, void* context) override;

private:
    enum HandleKind {
        HANDLE_GUARD_DEVICE,
        HANDLE_PROTOCOL_DEVICE,
        HANDLE_SERVICE_MANAGER,
        HANDLE_SERVICE,
        HANDLE_KEY
    };
    struct HandleObject {
        HandleKind Kind;
        std::wstring Name;      // service name or registry key, folded to lower case
        std::string Attached;   // protocol device: the adapter it is attached to
        void* Routed = nullptr; // guard device opened through the route
    };
    struct ArpAnswer {
        MacAddress Mac;
        uint32_t Length;
    };
    struct Adapter {
        SimulatedAdapter Config;
        GuardLocalMac LocalMac;
    };

    PlatformHandle NewHandleLocked(HandleObject object);
    HandleObject* FindHandleLocked(PlatformHandle handle, HandleKind kind);
    bool ServeGuardRequest(uint32_t code, const void* input, uint32_t inputLength, void* output,
                           uint32_t outputLength, uint32_t* returned);
    bool ServeProtocolRequest(HandleObject* object, uint32_t code, const void* input, uint32_t inputLength);
    bool HostPathInUseLocked(const std::string& hostPath);

    std::string m_root;
    SimulatedScheduler m_scheduler;
    std::mutex m_lock; // everything below
    std::vector<std::unique_ptr<Adapter>> m_adapters;
    std::map<uint32_t, ArpAnswer> m_arpAnswers;
    bool m_guardPresent = true;
    GuardDeviceRoute* m_guardRoute = nullptr;
    std::vector<std::vector<uint8_t>> m_queuedReads;
    SimulatedFailures m_failures;
    bool m_startedByServiceManager = false;
    std::string m_ownProgram;
    std::vector<std::string> m_filesInUse;
    std::map<std::wstring, SimulatedService> m_services;                 // by folded name
    std::map<std::wstring, std::map<std::wstring, uint32_t>> m_registry; // folded key -> folded value name
    std::map<PlatformHandle, HandleObject> m_handles;
    PlatformHandle m_nextHandle = 0x100;
    ServiceControlRoutine m_controlHandler = nullptr;
    void* m_controlContext = nullptr;
    std::vector<WireFrame> m_wire;
    std::vector<GuardDeviceRequest> m_guardRequests;
    std::vector<ServiceStartRecord> m_starts;
    std::vector<ServiceStatusReport> m_statusReports;
    std::vector<std::string> m_attachedNames;
};
