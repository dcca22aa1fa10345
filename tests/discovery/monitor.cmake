# The install monitor window: device events, the CUPS-backed parts and the
# main window's timer that opens it.
include(${PROJECT_SOURCE_DIR}/tests/testbeds/cups/fixture.cmake)
pkg_check_modules(UMOCKDEV_MONITOR REQUIRED IMPORTED_TARGET umockdev-1.0)
find_program(KORVANE_UMOCKDEV_WRAPPER umockdev-wrapper REQUIRED)

add_library(korvane_monitorbed STATIC monitor_bed.cpp monitor_bed.h)
target_include_directories(korvane_monitorbed PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR})
target_compile_options(korvane_monitorbed PRIVATE ${KORVANE_WARNINGS})
target_link_libraries(korvane_monitorbed PUBLIC korvane_testsupport PkgConfig::UMOCKDEV_MONITOR Qt5::Core)

set(monitor_env "KORVANE_PRINTER_NOTIFY=ippget" "HOME=${CMAKE_BINARY_DIR}/test-output/monitor-home")

# Real uevents reach libudev's monitor only through umockdev's preload, so the
# binary runs (and lists its cases) under umockdev-wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVANE_UMOCKDEV_WRAPPER})
korvane_test(discovery_monitor_tests
  SOURCES monitor_events_test.cpp monitor_status_test.cpp monitor_window.h silentscheduler.h
  LIBS korvane_discovery korvane_monitorbed
  LABELS umockdev
  ENVIRONMENT ${monitor_env})
unset(CMAKE_CROSSCOMPILING_EMULATOR)

set(monitor_cups_bed ${CMAKE_BINARY_DIR}/testbeds/cups-installmonitor)
korvane_cups_fixture(cups_installmonitor ${monitor_cups_bed})
korvane_test(discovery_monitor_cups_tests
  SOURCES monitor_cups_test.cpp monitor_window.h
  LIBS korvane_discovery korvane_monitorbed
  LABELS cups umockdev
  FIXTURES cups_installmonitor
  ENVIRONMENT "CUPS_SERVER=${monitor_cups_bed}/cups.sock" ${monitor_env})

korvane_test(discovery_monitor_timer_tests
  SOURCES monitor_timer_test.cpp
  LIBS korvane_mainwindow
  ISOLATED_NETWORK)
