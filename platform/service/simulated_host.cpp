// The simulated host: set-up, the service control manager and its registry, files and time. The two
// devices, the adapters and ARP are in simulated_devices.cpp.
#include "platform/service/simulated_host.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>

#include "driver/guard/arp_guard.h"
#include "driver/guard/guard_tables.h"
#include "platform/kernel/guard_host_control.h"
#include "platform/windir/windows_directory_host_control.h"

namespace {

const uint64_t kTicksPerMillisecond = 10000;
const uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
const uint32_t kServiceDemandStart = 3;

std::wstring Fold(const wchar_t* text) {
    std::wstring folded(text == nullptr ? L"" : text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); });
    return folded;
}

std::wstring ServiceKey(const std::wstring& name) {
    return Fold((L"SYSTEM\\CurrentControlSet\\Services\\" + name).c_str());
}

// Each unit of a path stands for one byte of the host path, a backslash for a slash, as in the files'
// stand-ins (platform/exclusive_file).
bool ToHostPath(const wchar_t* path, std::string* hostPath) {
    hostPath->clear();
    for (const wchar_t* unit = path; unit != nullptr && *unit != L'\0'; ++unit) {
        if (static_cast<uint32_t>(*unit) > 0xFFu) {
            return false;
        }
        hostPath->push_back(*unit == L'\\' ? '/' : static_cast<char>(*unit));
    }
    return !hostPath->empty();
}

} // namespace

SimulatedHost::SimulatedHost(const std::string& root, int64_t startSeconds)
    : m_root(root), m_scheduler(startSeconds * 1000) {
    std::error_code ignored;
    std::filesystem::create_directories(WindowsDirectory(), ignored);
    WindowsDirectoryHostUse(WindowsDirectory().c_str());
    GuardInitialize();
    GuardSetLastSpooferForTest(0);
    m_scheduler.SetClockListener([](int64_t milliseconds) {
        GuardHostSetTimeForTest(kTicksFrom1601To1970 +
                                static_cast<uint64_t>(milliseconds) * kTicksPerMillisecond);
    });
    RegisterService(SimulatedService{L"ZELKProt", L"ZELKProt", L"system32\\drivers\\ZELKProt.sys", false});
}

SimulatedHost::~SimulatedHost() {
    m_scheduler.Shutdown();
    GuardTablesFree();
    GuardSetLastSpooferForTest(0);
    GuardHostResetCurrentProcessForTest();
}

void SimulatedHost::SetFailures(const SimulatedFailures& failures) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_failures = failures;
}

void SimulatedHost::SetStartedByServiceManager(bool started) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_startedByServiceManager = started;
}

void SimulatedHost::SetOwnProgram(const std::string& hostPath) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_ownProgram = hostPath;
}

void SimulatedHost::SetFileInUse(const std::string& hostPath, bool inUse) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_filesInUse.erase(std::remove(m_filesInUse.begin(), m_filesInUse.end(), hostPath), m_filesInUse.end());
    if (inUse) {
        m_filesInUse.push_back(hostPath);
    }
}

void SimulatedHost::RegisterService(const SimulatedService& service) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_services[Fold(service.Name.c_str())] = service;
    m_registry[ServiceKey(service.Name)][L"start"] = kServiceDemandStart;
}

void SimulatedHost::SetRegistryDword(const std::wstring& key, const std::wstring& name, uint32_t value) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_registry[Fold(key.c_str())][Fold(name.c_str())] = value;
}

std::vector<ServiceStartRecord> SimulatedHost::ServiceStarts() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_starts;
}

std::vector<ServiceStatusReport> SimulatedHost::StatusReports() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_statusReports;
}

bool SimulatedHost::FindService(const std::wstring& name, SimulatedService* service) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_services.find(Fold(name.c_str()));
    if (found == m_services.end()) {
        return false;
    }
    *service = found->second;
    return true;
}

bool SimulatedHost::RegistryDword(const std::wstring& key, const std::wstring& name, uint32_t* value) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto values = m_registry.find(Fold(key.c_str()));
    if (values == m_registry.end()) {
        return false;
    }
    const auto found = values->second.find(Fold(name.c_str()));
    if (found == values->second.end()) {
        return false;
    }
    *value = found->second;
    return true;
}

uint32_t SimulatedHost::OpenHandleCount() {
    std::lock_guard<std::mutex> hold(m_lock);
    return static_cast<uint32_t>(m_handles.size());
}

void SimulatedHost::SendServiceControl(uint32_t control) {
    ServiceControlRoutine handler = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        handler = m_controlHandler;
        context = m_controlContext;
    }
    if (handler != nullptr) {
        handler(control, context);
    }
}

PlatformHandle SimulatedHost::NewHandleLocked(HandleObject object) {
    const PlatformHandle handle = m_nextHandle;
    m_nextHandle += 4;
    m_handles[handle] = std::move(object);
    return handle;
}

SimulatedHost::HandleObject* SimulatedHost::FindHandleLocked(PlatformHandle handle, HandleKind kind) {
    const auto found = m_handles.find(handle);
    return found != m_handles.end() && found->second.Kind == kind ? &found->second : nullptr;
}

PlatformHandle SimulatedHost::OpenServiceManager() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_failures.ServiceManager ? 0 : NewHandleLocked(HandleObject{HANDLE_SERVICE_MANAGER, L"", ""});
}

PlatformHandle SimulatedHost::CreateServiceRegistration(PlatformHandle manager, const wchar_t* name,
                                                        const wchar_t* displayName,
                                                        const wchar_t* programPath) {
    std::lock_guard<std::mutex> hold(m_lock);
    const std::wstring folded = Fold(name);
    if (FindHandleLocked(manager, HANDLE_SERVICE_MANAGER) == nullptr || m_failures.CreateService ||
        m_services.count(folded) != 0) {
        return 0;
    }
    m_services[folded] = SimulatedService{name, displayName, programPath, false};
    m_registry[ServiceKey(name)][L"start"] = kServiceDemandStart;
    return NewHandleLocked(HandleObject{HANDLE_SERVICE, folded, ""});
}

PlatformHandle SimulatedHost::OpenServiceRegistration(PlatformHandle manager, const wchar_t* name) {
    std::lock_guard<std::mutex> hold(m_lock);
    const std::wstring folded = Fold(name);
    if (FindHandleLocked(manager, HANDLE_SERVICE_MANAGER) == nullptr || m_services.count(folded) == 0) {
        return 0;
    }
    return NewHandleLocked(HandleObject{HANDLE_SERVICE, folded, ""});
}

ServiceStartOutcome SimulatedHost::StartServiceRegistration(PlatformHandle service) {
    std::lock_guard<std::mutex> hold(m_lock);
    HandleObject* object = FindHandleLocked(service, HANDLE_SERVICE);
    if (object == nullptr) {
        return SERVICE_START_REFUSED;
    }
    SimulatedService& target = m_services[object->Name];
    ServiceStartOutcome outcome = SERVICE_START_DONE;
    if (target.Running) {
        outcome = SERVICE_START_ALREADY_RUNNING;
    } else if (m_failures.StartService) {
        outcome = SERVICE_START_REFUSED;
    } else {
        target.Running = true;
    }
    m_starts.push_back(ServiceStartRecord{m_scheduler.NowMilliseconds(), target.Name, outcome});
    return outcome;
}

void SimulatedHost::CloseServiceManagerHandle(PlatformHandle handle) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_handles.find(handle);
    if (found != m_handles.end() &&
        (found->second.Kind == HANDLE_SERVICE_MANAGER || found->second.Kind == HANDLE_SERVICE)) {
        m_handles.erase(found);
    }
}

PlatformHandle SimulatedHost::OpenRegistryKey(const wchar_t* path) {
    std::lock_guard<std::mutex> hold(m_lock);
    const std::wstring folded = Fold(path);
    if (m_registry.count(folded) == 0) {
        return 0;
    }
    return NewHandleLocked(HandleObject{HANDLE_KEY, folded, ""});
}

bool SimulatedHost::DeleteRegistryValue(PlatformHandle key, const wchar_t* name) {
    std::lock_guard<std::mutex> hold(m_lock);
    HandleObject* object = FindHandleLocked(key, HANDLE_KEY);
    return object != nullptr && m_registry[object->Name].erase(Fold(name)) != 0;
}

bool SimulatedHost::SetRegistryDword(PlatformHandle key, const wchar_t* name, uint32_t value) {
    std::lock_guard<std::mutex> hold(m_lock);
    HandleObject* object = FindHandleLocked(key, HANDLE_KEY);
    if (object == nullptr || m_failures.SetRegistry) {
        return false;
    }
    m_registry[object->Name][Fold(name)] = value;
    return true;
}

void SimulatedHost::CloseRegistryKey(PlatformHandle key) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (FindHandleLocked(key, HANDLE_KEY) != nullptr) {
        m_handles.erase(key);
    }
}

// The entry runs on the calling thread, which then returns as if the service process had ended.
bool SimulatedHost::RunServiceDispatcher(const wchar_t* /*name*/, ServiceEntryRoutine entry, void* context) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_startedByServiceManager) {
            return false;
        }
    }
    entry(context);
    return true;
}

PlatformHandle SimulatedHost::RegisterServiceControlHandler(const wchar_t* name,
                                                            ServiceControlRoutine handler, void* context) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_failures.ControlHandler || !m_startedByServiceManager) {
        return 0;
    }
    m_controlHandler = handler;
    m_controlContext = context;
    return NewHandleLocked(HandleObject{HANDLE_SERVICE, Fold(name), ""});
}

bool SimulatedHost::ReportServiceStatus(PlatformHandle statusHandle, const ServiceStatusReport& status) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_failures.StatusReport || FindHandleLocked(statusHandle, HANDLE_SERVICE) == nullptr) {
        return false;
    }
    m_statusReports.push_back(status);
    return true;
}

bool SimulatedHost::OwnProgramPath(wchar_t* path, size_t capacity) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_ownProgram.empty() || m_ownProgram.size() >= capacity) {
        return false;
    }
    for (size_t i = 0; i <= m_ownProgram.size(); ++i) {
        path[i] = static_cast<wchar_t>(static_cast<unsigned char>(m_ownProgram[i]));
    }
    return true;
}

bool SimulatedHost::HostPathInUseLocked(const std::string& hostPath) {
    return std::find(m_filesInUse.begin(), m_filesInUse.end(), hostPath) != m_filesInUse.end();
}

bool SimulatedHost::RemoveFile(const wchar_t* path) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::string hostPath;
    return ToHostPath(path, &hostPath) && !HostPathInUseLocked(hostPath) && unlink(hostPath.c_str()) == 0;
}

bool SimulatedHost::CopyFileReplacing(const wchar_t* source, const wchar_t* target) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::string from;
    std::string to;
    if (!ToHostPath(source, &from) || !ToHostPath(target, &to) || HostPathInUseLocked(to)) {
        return false;
    }
    std::error_code error;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
}

bool SimulatedHost::FileAttributesReadable(const wchar_t* path) {
    std::string hostPath;
    struct stat status;
    return ToHostPath(path, &hostPath) && stat(hostPath.c_str(), &status) == 0;
}

int64_t SimulatedHost::CurrentTimeSeconds() {
    const int64_t milliseconds = m_scheduler.NowMilliseconds();
    return milliseconds >= 0 ? milliseconds / 1000 : -((-milliseconds + 999) / 1000);
}

bool SimulatedHost::SleepMilliseconds(uint32_t milliseconds) {
    return m_scheduler.Sleep(milliseconds);
}

bool SimulatedHost::StartThread(ThreadRoutine routine, void* context) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_failures.StartThread) {
            return false;
        }
    }
    return m_scheduler.Spawn([routine, context] { routine(context); });
}
