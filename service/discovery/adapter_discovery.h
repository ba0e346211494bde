// The trusted bindings and the gateways to correct, read from the host's adapters: one entry per default
// gateway, with the MAC address that ARP resolves for it.
#pragma once

#include <stdint.h>

#include <vector>

#include "common/zelk_records.h"
#include "platform/service/service_platform.h"

// One gateway to re-announce the host's true address to, and the adapter that reaches it.
struct AdapterGateway {
    char AdapterName[256]; // ASCII, zero-filled
    Ipv4Address GatewayIp;
    MacAddress GatewayMac; // as resolved
    Ipv4Address LocalIp;   // the adapter's first IPv4 address
    MacAddress LocalMac;   // the adapter's hardware address
};

// The longest adapter name whose device name "\DEVICE\<name>" fits its 255-character buffer.
constexpr size_t ADAPTER_NAME_MAX_CHARS = 246;

// Adds `binding`, or overwrites the entry with the same Ip in place.
void AddOrReplaceBinding(std::vector<ArpBinding>* list, const ArpBinding& binding);
// Adds `entry`, or overwrites the entry with the same GatewayIp in place.
void AddOrReplaceAdapterGateway(std::vector<AdapterGateway>* list, const AdapterGateway& entry);

// Both builders walk the adapters in list order, skip those without an IPv4 address, a gateway or an ARP
// answer, and return how many adapters contributed (duplicates counted); the lists keep one entry per
// gateway address, the later adapter's.
uint32_t BuildBindingList(ServicePlatform& platform, std::vector<ArpBinding>* list);
// Also skips an adapter whose name is too long to make its device name.
uint32_t BuildAdapterGatewayList(ServicePlatform& platform, std::vector<AdapterGateway>* list);
