# USB printer identification over umockdev test beds.
pkg_check_modules(UMOCKDEV_USB REQUIRED IMPORTED_TARGET umockdev-1.0)

korvane_test(discovery_usb_tests
  SOURCES usb_passes_test.cpp usb_report_test.cpp usb_recordingsearcher.h silentscheduler.h
  LIBS korvane_discovery korvane_umockdevbed
  LABELS umockdev)
