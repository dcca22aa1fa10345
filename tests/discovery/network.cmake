# Network scan tests. The LAN bed (tests/testbeds/lan) is the CTest fixture
# "lan"; the binaries that need it re-execute themselves inside one of its
# namespaces (network_lanbed.h), so nothing is ever sent outside the bed.
set(KORVANE_LAN_BED ${PROJECT_SOURCE_DIR}/tests/testbeds/lan/bed)
set(KORVANE_LAN_DIR ${CMAKE_BINARY_DIR}/testbeds/lan)

add_test(NAME network_lan_up COMMAND ${KORVANE_LAN_BED} up ${KORVANE_LAN_DIR} test)
set_tests_properties(network_lan_up PROPERTIES FIXTURES_SETUP lan TIMEOUT 120 LABELS network)
add_test(NAME network_lan_down COMMAND ${KORVANE_LAN_BED} down ${KORVANE_LAN_DIR})
set_tests_properties(network_lan_down PROPERTIES FIXTURES_CLEANUP lan TIMEOUT 60 LABELS network)

korvane_test(network_unit_tests
  SOURCES network_deviceid_test.cpp network_adapters_test.cpp
  LIBS korvane_discovery
  LABELS network)

korvane_test(network_scan_tests
  SOURCES network_scan_test.cpp network_lanbed.cpp network_lanbed.h
  LIBS korvane_discovery
  LABELS network
  FIXTURES lan
  ENVIRONMENT KORVANE_LAN_DIR=${KORVANE_LAN_DIR} KORVANE_LAN_ROLE=scan
              KORVANE_SNMP_DIR=${CMAKE_BINARY_DIR}/test-output/snmp)

korvane_test(network_probe_tests
  SOURCES network_probe_test.cpp network_lanbed.cpp network_lanbed.h
  LIBS korvane_discovery
  LABELS network
  FIXTURES lan
  ENVIRONMENT KORVANE_LAN_DIR=${KORVANE_LAN_DIR} KORVANE_LAN_ROLE=probe)
