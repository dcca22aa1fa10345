#pragma once
// The network adapter type texts callers have always received, and the kernel
// link types they stand for.

namespace sysinfo::adaptertype {

constexpr const char* kEthernet = "Ethernet 802.3";
constexpr const char* kWireless = "Wireless";
constexpr const char* kAtm = "ATM";
constexpr const char* kFirewire = "1394";

// ARPHRD_* values from <net/if_arp.h>, as /sys/class/net/IF/type shows them.
constexpr unsigned kLinkEther = 1;
constexpr unsigned kLinkAtm = 19;
constexpr unsigned kLinkIeee1394 = 24;
constexpr unsigned kLinkLoopback = 772;

} // namespace sysinfo::adaptertype
