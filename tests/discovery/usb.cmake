# USB printer identification over umockdev test beds.
pkg_check_modules(UMOCKDEV_USB REQUIRED IMPORTED_TARGET umockdev-1.0)

korvane_test(discovery_usb_tests
  SOURCES usb_passes_test.cpp usb_report_test.cpp usb_recordingsearcher.h silentscheduler.h
  LIBS korvane_discovery korvane_umockdevbed
  LABELS umockdev)

# Adding a found USB printer: a private scheduler whose stand-in usb backend
# lists the fixture's printers (tests/testbeds/cups/usb-devices).
set(usb_cups_bed ${CMAKE_BINARY_DIR}/testbeds/usb-cups)
add_test(NAME usb_cups_up COMMAND env KORVANE_CUPS_BED_USB=${PROJECT_SOURCE_DIR}/tests/testbeds/cups/usb-devices
         ${PROJECT_SOURCE_DIR}/tests/testbeds/cups/bed up ${usb_cups_bed})
add_test(NAME usb_cups_down COMMAND ${PROJECT_SOURCE_DIR}/tests/testbeds/cups/bed down ${usb_cups_bed})
set_tests_properties(usb_cups_up PROPERTIES FIXTURES_SETUP usb_cups LABELS "cups;umockdev" TIMEOUT 60)
set_tests_properties(usb_cups_down PROPERTIES FIXTURES_CLEANUP usb_cups LABELS "cups;umockdev" TIMEOUT 60)
korvane_test(discovery_usbsetup_tests
  SOURCES usbsetup_test.cpp
  LIBS korvane_discovery korvane_umockdevbed
  LABELS "cups;umockdev"
  FIXTURES usb_cups
  TIMEOUT 180
  ENVIRONMENT "CUPS_SERVER=${usb_cups_bed}/cups.sock" "KORVANE_USB_CUPS_BED=${usb_cups_bed}")

# ipp-usb's part: in the IPP printer bed's namespace (loopback only), where
# ippeveprinter stands in for ipp-usb. Its queue has the name the bed's other
# users expect for their own: never at the same time.
set(usb_ipp_printer_bed ${CMAKE_BINARY_DIR}/testbeds/ippprinter)
add_executable(discovery_usbsetup_ippusb_tests usbsetup_ippusb_test.cpp)
target_include_directories(discovery_usbsetup_ippusb_tests PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(discovery_usbsetup_ippusb_tests PRIVATE ${KORVANE_WARNINGS})
target_link_libraries(discovery_usbsetup_ippusb_tests PRIVATE korvane_discovery korvane_umockdevbed GTest::gtest
                      GTest::gtest_main)
set_target_properties(discovery_usbsetup_ippusb_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME discovery_usbsetup_ippusb_tests
  COMMAND sh -c "exec nsenter --net=/proc/$(cat '${usb_ipp_printer_bed}/holder.pid')/ns/net -- \"$0\""
          $<TARGET_FILE:discovery_usbsetup_ippusb_tests>)
set_tests_properties(discovery_usbsetup_ippusb_tests PROPERTIES FIXTURES_REQUIRED ippprinter
  LABELS "cups;umockdev" TIMEOUT 120 RESOURCE_LOCK ippprinter_queues
  ENVIRONMENT "CUPS_SERVER=${usb_ipp_printer_bed}/cups/cups.sock;KORVANE_IPP_PRINTER_BED=${usb_ipp_printer_bed};KORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")

# The same scheduler refusing administrative requests: the privileged retry.
set(usb_strict_cups_bed ${CMAKE_BINARY_DIR}/testbeds/usb-cups-strict)
add_test(NAME usb_cups_strict_up COMMAND env KORVANE_CUPS_BED_USB=${PROJECT_SOURCE_DIR}/tests/testbeds/cups/usb-devices
         ${PROJECT_SOURCE_DIR}/tests/testbeds/cups/bed up ${usb_strict_cups_bed} strict)
add_test(NAME usb_cups_strict_down COMMAND ${PROJECT_SOURCE_DIR}/tests/testbeds/cups/bed down ${usb_strict_cups_bed})
set_tests_properties(usb_cups_strict_up PROPERTIES FIXTURES_SETUP usb_cups_strict LABELS "cups;umockdev" TIMEOUT 60)
set_tests_properties(usb_cups_strict_down PROPERTIES FIXTURES_CLEANUP usb_cups_strict LABELS "cups;umockdev" TIMEOUT 60)
korvane_test(discovery_usbsetup_refusal_tests
  SOURCES usbsetup_refusal_test.cpp ../printers/printertestutil.cpp ../printers/printertestutil.h
  LIBS korvane_discovery korvane_umockdevbed korvane_printers
  LABELS "cups;umockdev"
  FIXTURES usb_cups_strict
  ENVIRONMENT "CUPS_SERVER=${usb_strict_cups_bed}/cups.sock" "HOME=${CMAKE_BINARY_DIR}/test-output/usb-strict-home")
