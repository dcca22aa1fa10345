# The network scan: device ids, adapters, ICMP sweep, SNMP device-id queries.
pkg_check_modules(NETSNMP REQUIRED IMPORTED_TARGET netsnmp)
list(APPEND KORVANE_DISCOVERY_SOURCES
  deviceid.cpp deviceid.h
  netprinterinfo.h
  netscan.cpp netscan.h
  netscanadapters.cpp netscanadapters.h
  netscansnmp.cpp netscansnmp.h
  netscansweep.cpp netscansweep.h)
list(APPEND KORVANE_DISCOVERY_LIBS PkgConfig::NETSNMP Threads::Threads)
find_package(Threads REQUIRED)
