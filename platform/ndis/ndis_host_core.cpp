// The simulated host's shared machinery: chosen failures and holds, rule checks, memory with counts and
// failure injection, debugger output, strings, and the reset between tests.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "ndis_host_internal.h"

namespace ndis_host {
namespace {

std::atomic<uint32_t> g_FailAllocationCountdown{0};
std::atomic<int64_t> g_MemoryBlocks{0};
std::atomic<uint64_t> g_Allocations{0};

// Whether the calling thread holds a spin lock; kept by the spin lock implementation.
bool HoldsSpinLock() {
    return KeGetCurrentIrql() != PASSIVE_LEVEL;
}

} // namespace

Host& TheHost() {
    static Host host;
    return host;
}

void Violation(const std::string& what) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.Violations.push_back(what);
}

void EnterNdisCall(const char* name, bool passiveOnly) {
    if (HoldsSpinLock()) {
        Violation(std::string(name) +
                  (passiveOnly ? " called above PASSIVE_LEVEL" : " called with a spin lock held"));
    }
}

NDIS_STATUS TakeChosenOutcome(NdisHostCall call) {
    Host& host = TheHost();
    std::unique_lock<std::mutex> lock(host.Mutex);
    if (host.Held[call]) {
        ++host.Holding[call];
        host.Changed.notify_all();
        host.Changed.wait(lock, [&] { return !host.Held[call]; });
        --host.Holding[call];
    }
    const NDIS_STATUS status = host.FailNext[call];
    host.FailNext[call] = NDIS_STATUS_SUCCESS;
    return status;
}

std::string Narrow(const NDIS_STRING* text) {
    std::string result;
    if (text == nullptr || text->Buffer == nullptr) {
        return result;
    }
    for (USHORT i = 0; i < text->Length / sizeof(WCHAR); ++i) {
        result.push_back(static_cast<char>(text->Buffer[i]));
    }
    return result;
}

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

void ResetMemory() {
    g_FailAllocationCountdown.store(0);
    g_Allocations.store(0);
}

int64_t MemoryBlocks() {
    return g_MemoryBlocks.load();
}

} // namespace ndis_host

using namespace ndis_host;

void NdisHostFailNextCallForTest(NdisHostCall call, NDIS_STATUS status) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.FailNext[call] = status;
}

void NdisHostHoldCallForTest(NdisHostCall call) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.Held[call] = true;
}

void NdisHostReleaseCallForTest(NdisHostCall call) {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.Held[call] = false;
    host.Changed.notify_all();
}

bool NdisHostWaitUntilHeldForTest(NdisHostCall call) {
    Host& host = TheHost();
    std::unique_lock<std::mutex> lock(host.Mutex);
    return host.Changed.wait_for(lock, std::chrono::seconds(10), [&] { return host.Holding[call] > 0; });
}

void NdisHostFailAllocationForTest(uint32_t n) {
    g_FailAllocationCountdown.store(n);
}

uint64_t NdisHostAllocationCountForTest() {
    return g_Allocations.load();
}

std::vector<std::string> NdisHostDbgPrintLinesForTest() {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return host.DbgLines;
}

std::vector<std::string> NdisHostViolationsForTest() {
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    return host.Violations;
}

void NdisHostResetForTest() {
    Host& host = TheHost();
    {
        std::lock_guard<std::mutex> guard(host.Mutex);
        for (int call = 0; call < NdisHostCallCount; ++call) {
            host.FailNext[call] = NDIS_STATUS_SUCCESS;
            host.Held[call] = false;
            host.Holding[call] = 0;
        }
        host.Registrations = NdisHostRegistrations{};
        host.UnloadHandler = nullptr;
        host.DeferInitialization = false;
        host.ReEnumerations = 0;
        host.Adapters.clear();
        host.Miniports.clear();
        host.Device.reset();
        ++host.DeviceGeneration;
        host.DeviceRegistrations = 0;
        host.ReturnedPackets.clear();
        host.DbgLines.clear();
        host.Violations.clear();
        host.Changed.notify_all();
    }
    ResetSync();
    ResetMemory();
    ResetPackets();
}

VOID NdisInitUnicodeString(PNDIS_STRING destination, PCWSTR source) {
    size_t units = 0;
    while (source != nullptr && source[units] != 0) {
        ++units;
    }
    destination->Length = static_cast<USHORT>(units * sizeof(WCHAR));
    destination->MaximumLength = static_cast<USHORT>((units + 1) * sizeof(WCHAR));
    destination->Buffer = const_cast<PWSTR>(source);
}

NDIS_STATUS NdisAllocateMemoryWithTag(PVOID* virtualAddress, UINT length, ULONG /*tag*/) {
    EnterNdisCall("NdisAllocateMemoryWithTag", false);
    *virtualAddress = nullptr;
    uint32_t countdown = g_FailAllocationCountdown.load();
    while (countdown != 0 && !g_FailAllocationCountdown.compare_exchange_weak(countdown, countdown - 1)) {
    }
    if (countdown == 1) {
        return NDIS_STATUS_FAILURE;
    }
    // Fresh pool memory is not zero: fill it so that a missing zeroing shows.
    void* memory = std::malloc(length == 0 ? 1 : length);
    if (memory == nullptr) {
        return NDIS_STATUS_FAILURE;
    }
    memset(memory, 0xCD, length);
    g_MemoryBlocks.fetch_add(1);
    g_Allocations.fetch_add(1);
    *virtualAddress = memory;
    return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS NdisAllocateMemory(PVOID* virtualAddress, UINT length, UINT /*memoryFlags*/,
                               NDIS_PHYSICAL_ADDRESS /*highestAcceptableAddress*/) {
    return NdisAllocateMemoryWithTag(virtualAddress, length, 0);
}

VOID NdisFreeMemory(PVOID virtualAddress, UINT /*length*/, UINT /*memoryFlags*/) {
    EnterNdisCall("NdisFreeMemory", false);
    if (virtualAddress != nullptr) {
        g_MemoryBlocks.fetch_sub(1);
        std::free(virtualAddress);
    }
}

ULONG DbgPrint(PCSTR format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    Host& host = TheHost();
    std::lock_guard<std::mutex> guard(host.Mutex);
    host.DbgLines.emplace_back(line);
    return written < 0 ? 0 : static_cast<ULONG>(written);
}
