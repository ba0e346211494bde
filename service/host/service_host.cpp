#include "service/host/service_host.h"

#include "platform/windir/windows_directory.h"
#include "platform/wow64/wow64_redirection.h"
#include "service/files/event_files.h"
#include "service/poller/event_poller.h"

namespace {

bool EqualsIgnoringCase(const char* text, const char* word) {
    for (; *text != '\0' && *word != '\0'; ++text, ++word) {
        const char a = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text + 32) : *text;
        if (a != *word) {
            return false;
        }
    }
    return *text == '\0' && *word == '\0';
}

bool RegisterUnlessRegistered(ServicePlatform& platform, PlatformHandle manager, const wchar_t* programPath) {
    const PlatformHandle key = platform.OpenRegistryKey(ZELK_SERVICE_REGISTRY_KEY);
    if (key != 0) {
        // Registered already: the registration, its program path included, stays as it is.
        platform.CloseRegistryKey(key);
        return true;
    }
    const PlatformHandle service = platform.CreateServiceRegistration(manager, ZELK_SERVICE_NAME,
                                                                      ZELK_SERVICE_DISPLAY_NAME, programPath);
    if (service == 0) {
        return false;
    }
    platform.CloseServiceManagerHandle(service);
    return true;
}

// Automatic start is written directly; removing "DeleteFlag" keeps a registration marked for deletion.
bool Configure(ServicePlatform& platform) {
    const PlatformHandle key = platform.OpenRegistryKey(ZELK_SERVICE_REGISTRY_KEY);
    if (key == 0) {
        return false;
    }
    platform.DeleteRegistryValue(key, L"DeleteFlag");
    const bool configured = platform.SetRegistryDword(key, L"Start", ZELK_SERVICE_AUTOMATIC_START);
    platform.CloseRegistryKey(key);
    return configured;
}

bool Start(ServicePlatform& platform) {
    const PlatformHandle manager = platform.OpenServiceManager();
    if (manager == 0) {
        return false;
    }
    bool started = false;
    const PlatformHandle service = platform.OpenServiceRegistration(manager, ZELK_SERVICE_NAME);
    if (service != 0) {
        started = platform.StartServiceRegistration(service) != SERVICE_START_REFUSED;
        platform.CloseServiceManagerHandle(service);
    }
    platform.CloseServiceManagerHandle(manager);
    return started;
}

void ReportStatus(ServiceProcess* process) {
    std::lock_guard<std::mutex> hold(process->StatusLock);
    process->Platform->ReportServiceStatus(process->StatusHandle, process->Status);
}

// The service accepts no controls, so only interrogation arrives; every control is answered with the status.
void ControlHandler(uint32_t /*control*/, void* context) {
    ReportStatus(static_cast<ServiceProcess*>(context));
}

void Worker(void* context) {
    ServiceProcess* process = static_cast<ServiceProcess*>(context);
    wchar_t windowsDirectory[WINDOWS_PATH_UNITS];
    if (FindWindowsDirectory(windowsDirectory)) {
        DeleteEventFile(windowsDirectory);
    }
    RunEventPoller(&process->State);
}

} // namespace

ProgramMode ParseCommandLine(const char* commandLine) {
    const char* text = commandLine == nullptr ? "" : commandLine;
    if (EqualsIgnoringCase(text, "create")) {
        return PROGRAM_MODE_CREATE;
    }
    if (EqualsIgnoringCase(text, "start")) {
        return PROGRAM_MODE_START;
    }
    return PROGRAM_MODE_SERVICE;
}

InstallResult ServiceInstall(ServicePlatform& platform, const wchar_t* programPath) {
    if (programPath == nullptr || programPath[0] == L'\0') {
        return INSTALL_NOT_INSTALLED;
    }
    const PlatformHandle manager = platform.OpenServiceManager();
    if (manager == 0) {
        return INSTALL_NOT_INSTALLED;
    }
    const bool registered = RegisterUnlessRegistered(platform, manager, programPath);
    platform.CloseServiceManagerHandle(manager);
    if (!registered || !Configure(platform)) {
        return INSTALL_NOT_INSTALLED;
    }
    return Start(platform) ? INSTALL_RUNNING : INSTALL_NOT_STARTED;
}

InstallResult ServiceCreate(ServicePlatform& platform) {
    wchar_t ownPath[WINDOWS_PATH_UNITS] = {};
    if (!platform.OwnProgramPath(ownPath, WINDOWS_PATH_UNITS)) {
        ownPath[0] = L'\0';
    }
    Wow64RedirectionOffScope redirectionOff;
    wchar_t windowsDirectory[WINDOWS_PATH_UNITS];
    wchar_t target[WINDOWS_PATH_UNITS];
    if (!FindWindowsDirectory(windowsDirectory) ||
        !BuildServiceFilePath(windowsDirectory, SERVICE_FILE_PROGRAM, target)) {
        return INSTALL_NOT_INSTALLED;
    }
    platform.RemoveFile(target);
    if (!platform.CopyFileReplacing(ownPath, target) || !platform.FileAttributesReadable(target)) {
        return INSTALL_NOT_INSTALLED;
    }
    return ServiceInstall(platform, target);
}

void ServiceEntry(void* context) {
    ServiceProcess* process = static_cast<ServiceProcess*>(context);
    ServicePlatform& platform = *process->Platform;
    {
        std::lock_guard<std::mutex> hold(process->StatusLock);
        process->Status =
            ServiceStatusReport{ZELK_SERVICE_OWN_PROCESS, ZELK_SERVICE_START_PENDING, 0, 0, 0, 0, 0};
    }
    const PlatformHandle statusHandle =
        platform.RegisterServiceControlHandler(ZELK_SERVICE_DISPATCH_NAME, ControlHandler, process);
    if (statusHandle == 0) {
        return;
    }
    bool reported = false;
    {
        std::lock_guard<std::mutex> hold(process->StatusLock);
        process->StatusHandle = statusHandle;
        process->Status.CurrentState = ZELK_SERVICE_RUNNING;
        reported = platform.ReportServiceStatus(statusHandle, process->Status);
    }
    if (!reported) {
        return;
    }
    platform.StartThread(Worker, process);
}

int ProgramEntry(ServiceProcess* process, const char* commandLine) {
    switch (ParseCommandLine(commandLine)) {
    case PROGRAM_MODE_CREATE:
        ServiceCreate(*process->Platform);
        break;
    case PROGRAM_MODE_START:
        RunEventPoller(&process->State);
        break;
    case PROGRAM_MODE_SERVICE:
        // Fails when the service control manager did not start the process; the exit code is 0 either way.
        process->Platform->RunServiceDispatcher(ZELK_SERVICE_DISPATCH_NAME, ServiceEntry, process);
        break;
    }
    return 0;
}
