#include "driver/framework/adapter.h"

VOID AdapterAddRef(Adapter* adapter) {
    NdisAcquireSpinLock(&adapter->Lock);
    ++adapter->RefCount;
    NdisReleaseSpinLock(&adapter->Lock);
}

BOOLEAN AdapterRelease(Adapter* adapter) {
    NdisAcquireSpinLock(&adapter->Lock);
    const LONG remaining = --adapter->RefCount;
    NdisReleaseSpinLock(&adapter->Lock);
    if (remaining != 0) {
        return FALSE;
    }
    AdapterFree(adapter);
    return TRUE;
}

VOID AdapterFree(Adapter* adapter) {
    if (adapter->ReceivePacketPool != nullptr) {
        NdisFreePacketPool(adapter->ReceivePacketPool);
        adapter->ReceivePacketPool = nullptr;
    }
    if (adapter->SendPacketPool != nullptr) {
        NdisFreePacketPool(adapter->SendPacketPool);
        adapter->SendPacketPool = nullptr;
    }
    NdisFreeSpinLock(&adapter->Lock);
    NdisFreeMemory(adapter, AdapterBlockSize(adapter->DeviceName.MaximumLength, adapter->ProcessorCount), 0);
}
