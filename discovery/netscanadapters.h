#pragma once
// Which network adapters a printer scan may use: the machine's real,
// connected Ethernet and wireless adapters with an IPv4 address. The listing
// (getifaddrs plus /sys/class/net) and the choice are separate so the choice
// can be checked against made-up adapters.

#include <cstdint>
#include <string>
#include <vector>

namespace discovery {

// Interface types as the adapter list reports them (IANA ifType numbers).
constexpr std::int32_t kIfTypeOther = 1;
constexpr std::int32_t kIfTypeEthernet = 6;
constexpr std::int32_t kIfTypeSoftwareLoopback = 24;
constexpr std::int32_t kIfTypeIeee80211 = 71;

// Operational status of an interface row; 0 to 2 mean the adapter cannot be
// used right now.
constexpr std::int32_t kOperNonOperational = 0;
constexpr std::int32_t kOperUnreachable = 1;
constexpr std::int32_t kOperDisconnected = 2;
constexpr std::int32_t kOperConnecting = 3;
constexpr std::int32_t kOperConnected = 4;
constexpr std::int32_t kOperOperational = 5;

struct AdapterRecord {
    std::string name;         // kernel interface name
    std::string description;  // what a user would call it (see listAdapters)
    std::int32_t type = kIfTypeOther;
    std::int32_t operStatus = kOperNonOperational;
    bool bridge = false;
    bool tunTap = false;
    std::string address;  // first IPv4 address, dotted; empty without one
    std::string mask;     // its netmask, dotted
};

// The address and mask of one adapter the scan will sweep.
struct SelectedAddress {
    std::string address;
    std::string mask;
};

// Every interface of the current network namespace, in interface index order.
// The description is the interface alias when one is set, a Windows-style
// name for the VMware and VirtualBox host adapters (so the virtual-adapter
// rule catches them), else the driver name, else the interface name.
// KORVANE_SYSFS_NET replaces /sys/class/net.
std::vector<AdapterRecord> listAdapters();

// Keeps the adapters that are up, Ethernet or wireless, not bridges or
// tun/tap devices, have an IPv4 address, and whose description contains
// neither "VirtualBox" nor "VM" (case-sensitive); one entry per adapter, with
// its first address.
std::vector<SelectedAddress> selectAdapters(const std::vector<AdapterRecord>& adapters);
std::vector<SelectedAddress> selectAdapters();

}  // namespace discovery
