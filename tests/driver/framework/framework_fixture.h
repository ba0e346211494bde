// A machine with the simulated NDIS host and no driver loaded, for each test; helpers to load the
// driver, add and bind lower adapters, and reach the framework's record of a binding.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "driver/framework/adapter.h"
#include "driver/framework/driver.h"
#include "ndis_host.h"

namespace zelk::test {

inline constexpr char kLoadedLine[] = "[Zelk] ARP Protector Driver: Loaded. Release Date: 2011-02-11.\n";
inline constexpr char kUnloadLine[] = "[Zelk] ARP Protector Driver: Unload.\n";

// True when the task finished within a few seconds: a handler that should not block did not.
template <typename T> bool FinishesSoon(std::future<T>& task) {
    return task.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

// True once `condition` holds, polling for at most a few seconds: a thread reached the point awaited.
template <typename Condition> bool BecomesTrue(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        NdisHostResetForTest();
        DriverStateResetForTest();
        baseline_ = NdisHostHoldingsForTest();
    }

    void TearDown() override {
        EXPECT_THAT(NdisHostViolationsForTest(), ::testing::IsEmpty());
        if (loaded_) {
            for (NdisHostAdapter* adapter : adapters_) {
                if (NdisHostAdapterStateForTest(adapter).Open) {
                    NdisHostUnbindAdapter(adapter);
                }
            }
            NdisHostUnloadDriver();
        }
        const NdisHostHoldings now = NdisHostHoldingsForTest();
        EXPECT_EQ(now.MemoryBlocks, baseline_.MemoryBlocks) << "records leaked";
        EXPECT_EQ(now.PacketPools, baseline_.PacketPools) << "packet pools leaked";
        EXPECT_EQ(now.ConfigurationHandles, 0) << "configuration handles left open";
    }

    NTSTATUS LoadDriver() {
        const NTSTATUS status = DriverEntry(&driverObject_, &registryPath_);
        loaded_ = status == STATUS_SUCCESS;
        return status;
    }

    void Load() { ASSERT_EQ(LoadDriver(), STATUS_SUCCESS); }

    NdisHostAdapter* AddAdapter(NDIS_MEDIUM medium = NdisMedium802_3) {
        NdisHostAdapterConfig config;
        const std::string number = std::to_string(adapters_.size() + 1);
        config.Name = "\\Device\\{LOWER-" + number + "}";
        config.UpperBindings = "\\Device\\ZELKARP_{UPPER-" + number + "}";
        config.Medium = medium;
        const UCHAR mac[6] = {0x00, 0x0C, 0x29, 0x10, 0x20, static_cast<UCHAR>(adapters_.size() + 1)};
        memcpy(config.Mac, mac, sizeof(mac));
        adapters_.push_back(NdisHostAddAdapter(config));
        return adapters_.back();
    }

    // An adapter bound with its virtual miniport initialized.
    NdisHostAdapter* AddRunningAdapter(NDIS_MEDIUM medium = NdisMedium802_3) {
        NdisHostAdapter* adapter = AddAdapter(medium);
        EXPECT_EQ(NdisHostBindAdapter(adapter), NDIS_STATUS_SUCCESS);
        EXPECT_TRUE(NdisHostMiniportStateForTest(adapter).Initialized);
        return adapter;
    }

    static Adapter* RecordOf(NdisHostAdapter* adapter) {
        return static_cast<Adapter*>(NdisHostAdapterStateForTest(adapter).BindingContext);
    }

    static bool HoldsNothingBeyond(const NdisHostHoldings& before) {
        const NdisHostHoldings now = NdisHostHoldingsForTest();
        return now.MemoryBlocks == before.MemoryBlocks && now.PacketPools == before.PacketPools &&
               now.Packets == before.Packets && now.ConfigurationHandles == before.ConfigurationHandles;
    }

    // Read under GlobalLock, as other threads may be changing it.
    static LONG ControlDeviceStateNow() {
        NdisAcquireSpinLock(&g_Driver.GlobalLock);
        const LONG state = g_Driver.ControlDeviceState;
        NdisReleaseSpinLock(&g_Driver.GlobalLock);
        return state;
    }

    NdisHostHoldings baseline_{};
    std::vector<NdisHostAdapter*> adapters_;
    bool loaded_ = false;
    DRIVER_OBJECT driverObject_{};
    UNICODE_STRING registryPath_{};
};

} // namespace zelk::test
