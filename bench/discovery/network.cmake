# Run by hand, as root: bench/discovery/netscan-bench BUILD_DIR [rounds]
# (brings the LAN bed up with each benchmark profile and scans inside it).
korvane_executable(netscan_bench
  SOURCES netscan_bench.cpp ${PROJECT_SOURCE_DIR}/tests/discovery/network_lanbed.cpp
  LIBS korvane_discovery Qt5::Core)
target_include_directories(netscan_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/discovery)
set_target_properties(netscan_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
