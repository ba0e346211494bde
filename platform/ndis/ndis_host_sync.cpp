// Spin locks, events, sleeps, interrupt request levels and processor numbers of the simulated host, on
// real threads. A spin lock really spins; a thread holding one runs at DISPATCH_LEVEL until it lets go.
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "ndis_host_internal.h"

namespace ndis_host {
namespace {

thread_local KIRQL t_Irql = PASSIVE_LEVEL;
thread_local PNDIS_SPIN_LOCK t_Held = nullptr; // the one spin lock this thread holds, if any
thread_local long t_Processor = -1;            // chosen by the test; -1 follows the real processor

std::atomic<ULONG> g_ProcessorCount{4};
std::atomic<uint64_t> g_Sleeps{0};

std::mutex g_EventMutex;
std::condition_variable g_EventChanged;
uint32_t g_Waiters = 0;

void TakeSpinLock(PNDIS_SPIN_LOCK lock) {
    if (t_Held == lock) {
        Violation("a spin lock was taken twice on one thread");
        std::abort(); // on a real machine this processor would spin for ever
    }
    if (t_Held != nullptr) {
        Violation("a second spin lock was taken while one was held");
    }
    while (__atomic_exchange_n(&lock->SpinLock, 1, __ATOMIC_ACQUIRE) != 0) {
        std::this_thread::yield();
    }
    t_Held = lock;
}

void LetGoSpinLock(PNDIS_SPIN_LOCK lock) {
    if (t_Held != lock) {
        Violation("a spin lock was released by a thread that did not hold it");
    }
    t_Held = nullptr;
    __atomic_store_n(&lock->SpinLock, 0, __ATOMIC_RELEASE);
}

} // namespace

void ResetSync() {
    g_ProcessorCount.store(4);
    g_Sleeps.store(0);
    t_Processor = -1;
}

} // namespace ndis_host

using namespace ndis_host;

KIRQL KeGetCurrentIrql() {
    return t_Irql;
}

VOID NdisAllocateSpinLock(PNDIS_SPIN_LOCK lock) {
    lock->SpinLock = 0;
    lock->OldIrql = PASSIVE_LEVEL;
}

VOID NdisFreeSpinLock(PNDIS_SPIN_LOCK /*lock*/) {}

VOID NdisAcquireSpinLock(PNDIS_SPIN_LOCK lock) {
    const KIRQL previous = t_Irql;
    t_Irql = DISPATCH_LEVEL;
    TakeSpinLock(lock);
    lock->OldIrql = previous;
}

VOID NdisReleaseSpinLock(PNDIS_SPIN_LOCK lock) {
    const KIRQL previous = lock->OldIrql;
    LetGoSpinLock(lock);
    t_Irql = previous;
}

VOID NdisDprAcquireSpinLock(PNDIS_SPIN_LOCK lock) {
    if (t_Irql != DISPATCH_LEVEL) {
        Violation("NdisDprAcquireSpinLock called below DISPATCH_LEVEL");
    }
    TakeSpinLock(lock);
}

VOID NdisDprReleaseSpinLock(PNDIS_SPIN_LOCK lock) {
    LetGoSpinLock(lock);
}

VOID NdisInitializeEvent(PNDIS_EVENT event) {
    std::lock_guard<std::mutex> guard(g_EventMutex);
    event->Signaled = 0;
}

VOID NdisSetEvent(PNDIS_EVENT event) {
    std::lock_guard<std::mutex> guard(g_EventMutex);
    event->Signaled = 1;
    g_EventChanged.notify_all();
}

VOID NdisResetEvent(PNDIS_EVENT event) {
    std::lock_guard<std::mutex> guard(g_EventMutex);
    event->Signaled = 0;
}

BOOLEAN NdisWaitEvent(PNDIS_EVENT event, UINT millisecondsToWait) {
    EnterNdisCall("NdisWaitEvent", true);
    std::unique_lock<std::mutex> lock(g_EventMutex);
    ++g_Waiters;
    const auto signalled = [&] { return event->Signaled != 0; };
    if (millisecondsToWait == 0) {
        g_EventChanged.wait(lock, signalled);
    } else {
        g_EventChanged.wait_for(lock, std::chrono::milliseconds(millisecondsToWait), signalled);
    }
    --g_Waiters;
    return event->Signaled != 0 ? TRUE : FALSE;
}

VOID NdisMSleep(ULONG microsecondsToSleep) {
    EnterNdisCall("NdisMSleep", true);
    g_Sleeps.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::microseconds(microsecondsToSleep));
}

ULONG KeQueryMaximumProcessorCountEx(USHORT /*groupNumber*/) {
    return g_ProcessorCount.load();
}

ULONG KeGetCurrentProcessorNumberEx(PPROCESSOR_NUMBER processorNumber) {
    ULONG number = 0;
    if (t_Processor >= 0) {
        number = static_cast<ULONG>(t_Processor);
    } else {
        const int cpu = sched_getcpu();
        number = static_cast<ULONG>(cpu < 0 ? 0 : cpu) % g_ProcessorCount.load();
    }
    if (processorNumber != nullptr) {
        processorNumber->Group = static_cast<USHORT>(number / 64);
        processorNumber->Number = static_cast<UCHAR>(number % 64);
        processorNumber->Reserved = 0;
    }
    return number;
}

void NdisHostSetProcessorCountForTest(ULONG count) {
    g_ProcessorCount.store(count == 0 ? 1 : count);
}
void NdisHostSetCurrentProcessorForTest(ULONG number) {
    t_Processor = static_cast<long>(number);
}

uint32_t NdisHostEventWaitersForTest() {
    std::lock_guard<std::mutex> guard(g_EventMutex);
    return g_Waiters;
}

uint64_t NdisHostSleepsForTest() {
    return g_Sleeps.load();
}
