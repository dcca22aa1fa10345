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
  SOURCES network_deviceid_test.cpp network_adapters_test.cpp network_snmp_test.cpp
  LIBS korvane_discovery
  LABELS network)

korvane_test(network_scan_tests
  SOURCES network_scan_test.cpp network_recordingsearcher.h network_lanbed.cpp network_lanbed.h
  LIBS korvane_discovery
  LABELS network
  FIXTURES lan
  ENVIRONMENT KORVANE_LAN_DIR=${KORVANE_LAN_DIR} KORVANE_LAN_ROLE=scan)

korvane_test(network_probe_tests
  SOURCES network_probe_test.cpp network_lanbed.cpp network_lanbed.h
  LIBS korvane_discovery
  LABELS network
  FIXTURES lan
  ENVIRONMENT KORVANE_LAN_DIR=${KORVANE_LAN_DIR} KORVANE_LAN_ROLE=probe)

# A routed /20 with awkward agents (slow, wrong OID, silent, another port).
set(KORVANE_LAN_ROUTED_DIR ${CMAKE_BINARY_DIR}/testbeds/lan-routed20)
add_test(NAME network_lan_routed_up COMMAND ${KORVANE_LAN_BED} up ${KORVANE_LAN_ROUTED_DIR} routed20)
set_tests_properties(network_lan_routed_up PROPERTIES FIXTURES_SETUP lan-routed TIMEOUT 120 LABELS network)
add_test(NAME network_lan_routed_down COMMAND ${KORVANE_LAN_BED} down ${KORVANE_LAN_ROUTED_DIR})
set_tests_properties(network_lan_routed_down PROPERTIES FIXTURES_CLEANUP lan-routed TIMEOUT 60 LABELS network)

korvane_test(network_routed_tests
  SOURCES network_routed_test.cpp network_recordingsearcher.h network_lanbed.cpp network_lanbed.h
  LIBS korvane_discovery
  LABELS network
  FIXTURES lan-routed
  ENVIRONMENT KORVANE_LAN_DIR=${KORVANE_LAN_ROUTED_DIR} KORVANE_LAN_ROLE=scan)

# A /24 scanned by a user who may not ping.
set(KORVANE_LAN_UNPRIV_DIR ${CMAKE_BINARY_DIR}/testbeds/lan-unpriv)
add_test(NAME network_lan_unpriv_up COMMAND ${KORVANE_LAN_BED} up ${KORVANE_LAN_UNPRIV_DIR} unpriv)
set_tests_properties(network_lan_unpriv_up PROPERTIES FIXTURES_SETUP lan-unpriv TIMEOUT 120 LABELS network)
add_test(NAME network_lan_unpriv_down COMMAND ${KORVANE_LAN_BED} down ${KORVANE_LAN_UNPRIV_DIR})
set_tests_properties(network_lan_unpriv_down PROPERTIES FIXTURES_CLEANUP lan-unpriv TIMEOUT 60 LABELS network)

korvane_test(network_unprivileged_tests
  SOURCES network_unprivileged_test.cpp network_recordingsearcher.h network_lanbed.cpp network_lanbed.h
  LIBS korvane_discovery
  LABELS network
  FIXTURES lan-unpriv
  ENVIRONMENT KORVANE_LAN_DIR=${KORVANE_LAN_UNPRIV_DIR} KORVANE_LAN_ROLE=scan)
