// The driver's side of the system run: the simulated NDIS host with the driver loaded, bound to the host's
// one Ethernet adapter, its virtual miniport up and an upper protocol that has learned the adapter's
// address. It serves \\.\ZELKARP for the service's simulated host through the driver's control device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/zelk_records.h"
#include "platform/service/simulated_host.h"

struct NdisHostAdapter;

namespace zelk {

// The adapter's name as the service's adapter list gives it; the driver's lower adapter is
// "\Device\" followed by it.
inline constexpr char kSystemAdapterName[] = "{5A000764-0000-4000-8000-00005A000764}";

class SystemDriver final : public GuardDeviceRoute {
public:
    // A machine with no driver loaded.
    SystemDriver();
    // Unbinds the adapter and unloads the driver.
    ~SystemDriver() override;
    SystemDriver(const SystemDriver&) = delete;
    SystemDriver& operator=(const SystemDriver&) = delete;

    // Loads the driver and brings the adapter up to the point where the guard knows its address.
    bool Start(const MacAddress& hostMac, std::string* error);

    // A frame from another station arrives at the adapter; true, with the bytes given to the host's
    // protocols in `passedUp`, when the driver indicated it up.
    bool Receive(const std::vector<uint8_t>& frame, std::vector<uint8_t>* passedUp);
    // The host's upper protocol sends a frame; true when it reached the adapter.
    bool Send(const std::vector<uint8_t>& frame);

    // GuardDeviceRoute: the user-mode side of the driver's control device.
    void* Open() override;
    bool Control(void* handle, uint32_t code, const void* input, uint32_t inputLength, void* output,
                 uint32_t outputLength, uint32_t* returned) override;
    void Close(void* handle) override;

private:
    NdisHostAdapter* m_adapter = nullptr;
    bool m_loaded = false;
};

} // namespace zelk
