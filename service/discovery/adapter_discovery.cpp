#include "service/discovery/adapter_discovery.h"

#include <string.h>

namespace {

// An adapter whose gateway answered ARP.
struct ResolvedAdapter {
    const AdapterInfo* Adapter;
    Ipv4Address LocalIp;
    Ipv4Address GatewayIp;
    MacAddress GatewayMac;
};

Ipv4Address AddressFromValue(uint32_t value) {
    Ipv4Address ip;
    memcpy(ip.Bytes, &value, sizeof(ip.Bytes));
    return ip;
}

bool Resolve(ServicePlatform& platform, const AdapterInfo& adapter, ResolvedAdapter* resolved) {
    if (adapter.IpText[0] == '\0' || adapter.GatewayText[0] == '\0') {
        return false;
    }
    const uint32_t local = platform.ParseDottedAddress(adapter.IpText);
    const uint32_t gateway = platform.ParseDottedAddress(adapter.GatewayText);
    if (local == 0 || gateway == 0) {
        return false;
    }
    uint8_t answer[8] = {};
    uint32_t length = 6;
    if (!platform.ResolveArp(gateway, local, answer, &length) || length == 0) {
        return false;
    }
    resolved->Adapter = &adapter;
    resolved->LocalIp = AddressFromValue(local);
    resolved->GatewayIp = AddressFromValue(gateway);
    memcpy(resolved->GatewayMac.Bytes, answer, sizeof(resolved->GatewayMac.Bytes));
    return true;
}

// Calls `add(resolved)` for every adapter whose gateway resolves, in list order; returns how many it added.
template <typename Add> uint32_t WalkAdapters(ServicePlatform& platform, Add add) {
    std::vector<AdapterInfo> adapters;
    if (!platform.ReadAdapterList(&adapters)) {
        return 0;
    }
    uint32_t count = 0;
    for (const AdapterInfo& adapter : adapters) {
        ResolvedAdapter resolved{};
        if (Resolve(platform, adapter, &resolved) && add(resolved)) {
            ++count;
        }
    }
    return count;
}

template <typename Entry, typename SameKey>
void AddOrReplace(std::vector<Entry>* list, const Entry& entry, SameKey sameKey) {
    for (Entry& existing : *list) {
        if (sameKey(existing, entry)) {
            existing = entry;
            return;
        }
    }
    list->push_back(entry);
}

} // namespace

void AddOrReplaceBinding(std::vector<ArpBinding>* list, const ArpBinding& binding) {
    AddOrReplace(list, binding,
                 [](const ArpBinding& a, const ArpBinding& b) { return Ipv4Equal(&a.Ip, &b.Ip) != 0; });
}

void AddOrReplaceAdapterGateway(std::vector<AdapterGateway>* list, const AdapterGateway& entry) {
    AddOrReplace(list, entry, [](const AdapterGateway& a, const AdapterGateway& b) {
        return Ipv4Equal(&a.GatewayIp, &b.GatewayIp) != 0;
    });
}

uint32_t BuildBindingList(ServicePlatform& platform, std::vector<ArpBinding>* list) {
    return WalkAdapters(platform, [list](const ResolvedAdapter& resolved) {
        ArpBinding binding{resolved.GatewayIp, resolved.GatewayMac};
        AddOrReplaceBinding(list, binding);
        return true;
    });
}

uint32_t BuildAdapterGatewayList(ServicePlatform& platform, std::vector<AdapterGateway>* list) {
    return WalkAdapters(platform, [list](const ResolvedAdapter& resolved) {
        const AdapterInfo& adapter = *resolved.Adapter;
        const size_t nameLength = strnlen(adapter.Name, sizeof(adapter.Name));
        if (nameLength > ADAPTER_NAME_MAX_CHARS) {
            return false;
        }
        AdapterGateway entry{};
        memcpy(entry.AdapterName, adapter.Name, nameLength);
        entry.GatewayIp = resolved.GatewayIp;
        entry.GatewayMac = resolved.GatewayMac;
        entry.LocalIp = resolved.LocalIp;
        memcpy(entry.LocalMac.Bytes, adapter.Address, sizeof(entry.LocalMac.Bytes));
        AddOrReplaceAdapterGateway(list, entry);
        return true;
    });
}
