# The install monitor window and the device-change notifications it hears.
pkg_check_modules(LIBUDEV_MONITOR REQUIRED IMPORTED_TARGET libudev)
list(APPEND KORVANE_DISCOVERY_SOURCES
  devicemonitor.cpp devicemonitor.h
  installmonitor.cpp installmonitor.h
  installmonitorqueues.cpp installmonitorqueues.h
  installmonitorstatus.cpp installmonitorstatus.h)
list(APPEND KORVANE_DISCOVERY_LIBS korvane_webui korvane_printers PkgConfig::LIBUDEV_MONITOR Qt5::Widgets)
