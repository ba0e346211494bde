// The Wine test build of ZELKARP.sys installed in a prefix and worked from the host: started as a kernel
// driver, then bindings, injected frames and drains through its control device (zelk_guard_client.exe).
#pragma once

#include <string>
#include <vector>

#include "driver/guard/arp_guard.h"
#include "tests/wine/wine_harness.h"
#include "tools/frames/arp_frame.h"

namespace zelk::test {

class GuardDriverControl {
public:
    explicit GuardDriverControl(const WinePrefix& prefix);

    // Installs the driver as a kernel-driver service, starts it and waits for \\.\ZELKARP; false if it
    // never appears.
    bool Start();
    // Stops the driver's service; true once its unload line has been printed.
    bool StopAndWaitForUnload();

    // "bind ok" or "bind failed": replaces the trusted bindings with these bytes.
    std::string BindBytes(const std::string& hex);
    std::string Bind(const std::vector<ArpBinding>& bindings);
    // One verdict per frame, "drop" or "pass", as the guard judged them on an adapter with `adapterMac`.
    std::vector<std::string> Inject(GuardDirection direction, const MacAddress& adapterMac,
                                    const std::vector<Frame>& frames);
    // Every pending event, drained with a buffer of `bufferBytes`; empty when the drain fails.
    std::vector<GuardEvent> Drain(uint32_t bufferBytes = GUARD_READ_BUFFER_SIZE);
    // The client's first answer line to a drain ("read ok N" or "read failed 0").
    std::string DrainAnswer(uint32_t bufferBytes = GUARD_READ_BUFFER_SIZE);

private:
    std::vector<std::string> Client(const std::vector<std::string>& arguments);
    WineResult Sc(const std::vector<std::string>& arguments);

    const WinePrefix& m_prefix;
    std::string m_client;
};

// Text helpers shared by the Wine tests that work the driver.
std::string HexBytes(const void* bytes, size_t length);
std::vector<std::string> OutputLines(const std::string& text);

} // namespace zelk::test
