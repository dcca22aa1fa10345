// A DNS-SD TXT record in its wire form (length-prefixed strings), as any host
// on the LAN may announce it.

#include "discovery/dnssdtxt.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const discovery::DnssdTxt txt = discovery::parseTxtRecord(data, size);
    (void)discovery::listsDriverlessFormat(txt.pdl);
    return 0;
}
