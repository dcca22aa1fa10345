# The DNS-SD browse (avahi-daemon through libavahi-client), the IPP
# Get-Printer-Attributes probe (libcups), and the merge with the SNMP answers.
pkg_check_modules(AVAHI_CLIENT REQUIRED IMPORTED_TARGET avahi-client)
find_package(Cups REQUIRED)
list(APPEND KORVANE_DISCOVERY_SOURCES
  dnssdbrowser.cpp dnssdbrowser.h
  netprintermerge.cpp netprintermerge.h)
# The IPP client on its own, so the queue code can ask a printer too.
korvane_library(korvane_ippclient
  SOURCES dnssdtxt.cpp dnssdtxt.h ippattributes.cpp ippattributes.h ippprobe.cpp ippprobe.h
  LIBS Cups::Cups)
list(APPEND KORVANE_DISCOVERY_LIBS korvane_ippclient PkgConfig::AVAHI_CLIENT Cups::Cups)
