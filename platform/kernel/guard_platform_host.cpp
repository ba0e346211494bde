// The host stand-in for the guard's platform seam.
#include "platform/kernel/guard_host_control.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "driver/guard/guard_dispatch.h"
#include "driver/guard/guard_platform.h"

namespace {

std::atomic<uint64_t> g_Time{0};
std::atomic<uint32_t> g_FailCountdown{0};
std::atomic<int64_t> g_Outstanding{0};
std::atomic<uint64_t> g_Allocations{0};
std::atomic<uint64_t> g_Completions{0};

const GuardHostProcess* BuildSystemProcess() {
    static GuardHostProcess system;
    GuardHostMakeProcess(&system, 4, "System", 6);
    return &system;
}

struct CurrentProcess {
    bool Overridden = false;
    const GuardHostProcess* Process = nullptr;
};
thread_local CurrentProcess t_Current;

static_assert(sizeof(std::mutex) <= sizeof(GuardLock), "a host lock fits the opaque storage");
static_assert(alignof(std::mutex) <= alignof(GuardLock), "a host lock is aligned in the opaque storage");

std::mutex* AsMutex(GuardLock* lock) {
    return std::launder(reinterpret_cast<std::mutex*>(lock->Storage));
}

} // namespace

void GuardHostSetTimeForTest(uint64_t time) {
    g_Time.store(time);
}
void GuardHostAdvanceTimeForTest(uint64_t ticks) {
    g_Time.fetch_add(ticks);
}

void GuardHostFailAllocationForTest(uint32_t n) {
    g_FailCountdown.store(n);
}
int64_t GuardHostOutstandingAllocationsForTest() {
    return g_Outstanding.load();
}
uint64_t GuardHostAllocationCountForTest() {
    return g_Allocations.load();
}

void GuardHostMakeProcess(GuardHostProcess* process, uint64_t id, const char* imageName, size_t nameLength) {
    std::memset(process, 0, sizeof(*process));
    process->Id = id;
    // Something that looks like "System" must not appear before the real field, or the search would
    // find it first; the filler is bytes the search cannot match.
    std::memset(process->Object, 0xA5, GUARD_HOST_IMAGE_NAME_OFFSET);
    const size_t room = GUARD_HOST_PROCESS_OBJECT_SIZE - GUARD_HOST_IMAGE_NAME_OFFSET;
    std::memcpy(process->Object + GUARD_HOST_IMAGE_NAME_OFFSET, imageName,
                nameLength < room ? nameLength : room);
}

const GuardHostProcess* GuardHostSystemProcess() {
    static const GuardHostProcess* system = BuildSystemProcess();
    return system;
}

void GuardHostSetCurrentProcessForTest(const GuardHostProcess* process) {
    t_Current.Overridden = true;
    t_Current.Process = process;
}

void GuardHostResetCurrentProcessForTest() {
    t_Current = CurrentProcess{};
}

uint64_t GuardHostCompletedRequestsForTest() {
    return g_Completions.load();
}

uint64_t GuardQuerySystemTime() {
    return g_Time.load();
}

void* GuardAllocatePool(size_t bytes) {
    uint32_t countdown = g_FailCountdown.load();
    while (countdown != 0 && !g_FailCountdown.compare_exchange_weak(countdown, countdown - 1)) {
    }
    if (countdown == 1) {
        return nullptr;
    }
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory != nullptr) {
        g_Outstanding.fetch_add(1);
        g_Allocations.fetch_add(1);
    }
    return memory;
}

void GuardFreePool(void* memory) {
    if (memory != nullptr) {
        g_Outstanding.fetch_sub(1);
        std::free(memory);
    }
}

void GuardLockInitialize(GuardLock* lock) {
    new (lock->Storage) std::mutex();
}
void GuardLockAcquire(GuardLock* lock) {
    AsMutex(lock)->lock();
}
void GuardLockRelease(GuardLock* lock) {
    AsMutex(lock)->unlock();
}

const void* GuardCurrentProcess() {
    const GuardHostProcess* process = t_Current.Overridden ? t_Current.Process : GuardHostSystemProcess();
    return process == nullptr ? nullptr : process->Object;
}

uint64_t GuardProcessId(const void* process) {
    const auto* object = static_cast<const unsigned char*>(process);
    const auto* host = reinterpret_cast<const GuardHostProcess*>(object - offsetof(GuardHostProcess, Object));
    return host->Id;
}

size_t GuardProcessObjectSize(const void* /*process*/) {
    return GUARD_HOST_PROCESS_OBJECT_SIZE;
}

void GuardCompleteRequest(GuardRequest* request) {
    ++request->Completions;
    g_Completions.fetch_add(1);
}
