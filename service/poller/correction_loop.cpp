#include "service/poller/correction_loop.h"

#include <vector>

#include "service/discovery/adapter_discovery.h"
#include "service/discovery/protocol_client.h"

namespace {

void CorrectionThread(void* context) {
    RunCorrectionLoop(static_cast<ServiceState*>(context));
}

bool AttackIsOver(ServiceState* state) {
    return SecondsSince(state->LastAttackTime.load(), state->Platform->CurrentTimeSeconds()) >
           SUPPRESSION_WINDOW_SECONDS;
}

} // namespace

bool RequestCorrectionLoop(ServiceState* state) {
    if (state->CorrectionRunning.exchange(true)) {
        return true;
    }
    if (!state->Platform->StartThread(CorrectionThread, state)) {
        state->CorrectionRunning.store(false);
        return false;
    }
    return true;
}

void RunCorrectionLoop(ServiceState* state) {
    ServicePlatform& platform = *state->Platform;
    std::vector<AdapterGateway> gateways;
    if (BuildAdapterGatewayList(platform, &gateways) == 0) {
        state->CorrectionRunning.store(false);
        return;
    }
    for (;;) {
        SendCorrectionFrames(platform, gateways);
        if (AttackIsOver(state) || !platform.SleepMilliseconds(1000)) {
            break;
        }
    }
    ClearInboundSources(&state->Table);
    state->CorrectionRunning.store(false);
}
