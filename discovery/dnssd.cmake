# The DNS-SD browse (avahi-daemon through libavahi-client), the IPP
# Get-Printer-Attributes probe (libcups), and the merge with the SNMP answers.
pkg_check_modules(AVAHI_CLIENT REQUIRED IMPORTED_TARGET avahi-client)
find_package(Cups REQUIRED)
list(APPEND KORVANE_DISCOVERY_SOURCES
  dnssdtxt.cpp dnssdtxt.h
  dnssdbrowser.cpp dnssdbrowser.h
  ippattributes.cpp ippattributes.h
  ippprobe.cpp ippprobe.h
  netprintermerge.cpp netprintermerge.h)
list(APPEND KORVANE_DISCOVERY_LIBS PkgConfig::AVAHI_CLIENT Cups::Cups)
