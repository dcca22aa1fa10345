# DNS-SD and IPP in the network search. The DNS-SD printers of the LAN bed
# (tests/testbeds/lan/dnssd) are the CTest fixture "dnssd", added to a running
# "lan" bed; a test binary reaches the scanner's avahi-daemon through the
# private bus named by DBUS_SYSTEM_BUS_ADDRESS.
set(KORVANE_DNSSD_BED ${PROJECT_SOURCE_DIR}/tests/testbeds/lan/dnssd)
set(KORVANE_DNSSD_BUS "DBUS_SYSTEM_BUS_ADDRESS=unix:path=${CMAKE_BINARY_DIR}/testbeds/lan/dnssd/scan/bus")

add_test(NAME network_dnssd_up COMMAND ${KORVANE_DNSSD_BED} up ${CMAKE_BINARY_DIR}/testbeds/lan)
set_tests_properties(network_dnssd_up PROPERTIES FIXTURES_SETUP dnssd FIXTURES_REQUIRED lan TIMEOUT 120
                     LABELS network)
add_test(NAME network_dnssd_down COMMAND ${KORVANE_DNSSD_BED} down ${CMAKE_BINARY_DIR}/testbeds/lan)
set_tests_properties(network_dnssd_down PROPERTIES FIXTURES_CLEANUP dnssd FIXTURES_REQUIRED lan TIMEOUT 60
                     LABELS network)

korvane_test(network_dnssd_unit_tests
  SOURCES dnssd_parse_test.cpp
  LIBS korvane_discovery
  LABELS network)

korvane_test(network_dnssd_tests
  SOURCES dnssd_search_test.cpp network_lanbed.cpp network_lanbed.h
  LIBS korvane_discovery
  LABELS network
  FIXTURES lan dnssd
  TIMEOUT 300
  ENVIRONMENT KORVANE_LAN_DIR=${CMAKE_BINARY_DIR}/testbeds/lan KORVANE_LAN_ROLE=scan ${KORVANE_DNSSD_BUS}
              KORVANE_SNMP_DIR=${CMAKE_BINARY_DIR}/test-output/snmp-dnssd)
