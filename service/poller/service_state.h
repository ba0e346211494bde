// The state the poller shares with the gateway correction loop: one instance per service process, all
// of it in memory, empty at start.
#pragma once

#include <stdint.h>

#include <atomic>

#include "platform/service/service_platform.h"
#include "service/poller/suppression_table.h"

struct ServiceState {
    explicit ServiceState(ServicePlatform* platform) : Platform(platform) {}
    ServiceState(const ServiceState&) = delete;
    ServiceState& operator=(const ServiceState&) = delete;

    ServicePlatform* Platform;
    SuppressionTable Table{};
    // Seconds since 1970 (low 32 bits) when the latest inbound spoofing record was handled.
    std::atomic<uint32_t> LastAttackTime{0};
    // Set, tested in the same step, before a correction loop builds its list; cleared as its last act.
    std::atomic<bool> CorrectionRunning{false};
};
