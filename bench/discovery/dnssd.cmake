# Run by hand, as root: bench/discovery/dnssd-bench BUILD_DIR [ROUNDS]
# (brings the LAN bed and its DNS-SD printers up and searches inside it).
korvane_executable(dnssd_bench
  SOURCES dnssd_bench.cpp ${PROJECT_SOURCE_DIR}/tests/discovery/network_lanbed.cpp
  LIBS korvane_discovery Qt5::Core)
target_include_directories(dnssd_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/discovery)
set_target_properties(dnssd_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
