# The network scan: device ids, adapters, ICMP sweep, SNMP device-id queries.
list(APPEND KORVANE_DISCOVERY_SOURCES
  deviceid.cpp deviceid.h
  netprinterinfo.h
  netscan.cpp netscan.h
  netscanadapters.cpp netscanadapters.h
  netscanroutes.cpp netscanroutes.h
  netscansnmp.cpp netscansnmp.h
  netscansweep.cpp netscansweep.h
  snmpmessage.cpp snmpmessage.h)
list(APPEND KORVANE_DISCOVERY_LIBS Threads::Threads)
find_package(Threads REQUIRED)
