#include "platform/service/simulated_scheduler.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

namespace {

// Which simulated thread the calling thread is; the controller is 0.
thread_local uint32_t t_simulatedThread = 0;

} // namespace

SimulatedScheduler::SimulatedScheduler(int64_t startMilliseconds) : m_now(startMilliseconds) {
    t_simulatedThread = 0;
    m_turns.push_back(std::make_unique<std::condition_variable>());
}

SimulatedScheduler::~SimulatedScheduler() {
    Shutdown();
}

int64_t SimulatedScheduler::NowMilliseconds() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_now;
}

void SimulatedScheduler::SetClockListener(std::function<void(int64_t)> listener) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_clockListener = std::move(listener);
    if (m_clockListener) {
        m_clockListener(m_now);
    }
}

void SimulatedScheduler::HandOffLocked() {
    if (m_sleeping.empty()) {
        // Cannot happen while the controller takes part: it is always running or asleep.
        fprintf(stderr, "simulated scheduler: no thread left to run\n");
        abort();
    }
    const Wakeup next = *m_sleeping.begin();
    m_sleeping.erase(m_sleeping.begin());
    if (std::get<0>(next) > m_now) {
        m_now = std::get<0>(next);
        if (m_clockListener) {
            m_clockListener(m_now);
        }
    }
    m_running = std::get<2>(next);
    m_turns[m_running]->notify_one();
}

void SimulatedScheduler::WaitForTurnLocked(std::unique_lock<std::mutex>* hold, uint32_t id) {
    std::condition_variable* turn = m_turns[id].get();
    turn->wait(*hold, [this, id] { return m_running == id || m_shuttingDown; });
}

bool SimulatedScheduler::Sleep(uint32_t milliseconds) {
    return SleepUntil(-1, milliseconds);
}

bool SimulatedScheduler::SleepUntil(int64_t until, uint32_t milliseconds) {
    const uint32_t self = t_simulatedThread;
    std::unique_lock<std::mutex> hold(m_lock);
    if (m_shuttingDown) {
        return false;
    }
    // The controller advancing the clock wakes after every thread due at the same instant.
    const bool advancing = until >= 0;
    m_sleeping.insert(advancing ? Wakeup{std::max(until, m_now), UINT64_MAX, self}
                                : Wakeup{m_now + milliseconds, m_order++, self});
    HandOffLocked();
    WaitForTurnLocked(&hold, self);
    return !m_shuttingDown;
}

bool SimulatedScheduler::Spawn(std::function<void()> routine) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_shuttingDown) {
        return false;
    }
    const uint32_t id = m_nextId++;
    m_turns.push_back(std::make_unique<std::condition_variable>());
    m_sleeping.insert(Wakeup{m_now, m_order++, id});
    m_threads.emplace_back([this, id, routine = std::move(routine)] {
        t_simulatedThread = id;
        {
            std::unique_lock<std::mutex> wait(m_lock);
            WaitForTurnLocked(&wait, id);
            if (m_shuttingDown) {
                return;
            }
        }
        routine();
        std::lock_guard<std::mutex> ended(m_lock);
        if (!m_shuttingDown) {
            HandOffLocked();
        }
    });
    return true;
}

void SimulatedScheduler::AdvanceTo(int64_t milliseconds) {
    SleepUntil(milliseconds, 0);
}

void SimulatedScheduler::Shutdown() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_shuttingDown = true;
        for (const std::unique_ptr<std::condition_variable>& turn : m_turns) {
            turn->notify_all();
        }
        threads.swap(m_threads);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}
