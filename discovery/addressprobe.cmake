# "Add by address": IPP, IPPS and SNMP questions to one typed-in host.
list(APPEND KORVANE_DISCOVERY_SOURCES addressprobe.cpp addressprobe.h)
