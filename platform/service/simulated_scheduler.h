// Threads and sleeping under a virtual clock, so that minutes of a service's life run in milliseconds
// and every run takes the same course.
//
// Each simulated thread is a real thread, but only one of them runs at a time: a thread runs until it
// sleeps or ends, then the thread due first (earliest wake time, then the one that went to sleep first)
// runs, and the clock jumps to its wake time. The thread that made the scheduler (a test, the scenario
// runner) takes part as well: it lets time pass with AdvanceTo and ends everything with Shutdown.
#pragma once

#include <stdint.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

class SimulatedScheduler {
public:
    // The clock starts at `startMilliseconds` since 1970; the calling thread becomes the controller.
    explicit SimulatedScheduler(int64_t startMilliseconds);
    // Shuts down if that has not happened yet.
    ~SimulatedScheduler();
    SimulatedScheduler(const SimulatedScheduler&) = delete;
    SimulatedScheduler& operator=(const SimulatedScheduler&) = delete;

    int64_t NowMilliseconds();
    // Called with the new time whenever the clock moves, by the thread that moves it.
    void SetClockListener(std::function<void(int64_t)> listener);

    // Pauses the calling simulated thread for `milliseconds` of virtual time; false once shutting down.
    bool Sleep(uint32_t milliseconds);
    // A new simulated thread, due at once; it first runs when the caller sleeps. False once shutting down.
    bool Spawn(std::function<void()> routine);

    // Controller only: lets every other thread run until the clock reaches `milliseconds`, those due at
    // that very instant included.
    void AdvanceTo(int64_t milliseconds);
    // Controller only: every sleeping thread wakes with false and returns; waits for all to end.
    void Shutdown();

private:
    using Wakeup = std::tuple<int64_t, uint64_t, uint32_t>; // wake time, order of sleeping, thread id

    // Sleeps `milliseconds`, or, for the controller, until `until` when that is not negative.
    bool SleepUntil(int64_t until, uint32_t milliseconds);
    void HandOffLocked();
    void WaitForTurnLocked(std::unique_lock<std::mutex>* hold, uint32_t id);

    std::mutex m_lock;
    // One per thread, by id: a hand-off wakes only the thread whose turn it is.
    std::vector<std::unique_ptr<std::condition_variable>> m_turns;
    int64_t m_now;
    uint64_t m_order = 0;
    uint32_t m_nextId = 1; // 0 is the controller
    uint32_t m_running = 0;
    bool m_shuttingDown = false;
    std::set<Wakeup> m_sleeping;
    std::vector<std::thread> m_threads;
    std::function<void(int64_t)> m_clockListener;
};
