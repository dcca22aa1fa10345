# USB printer identification.
list(APPEND KORVANE_DISCOVERY_SOURCES
  usbprinterinfo.h
  usbprinters.cpp usbprinters.h
  usbreport.cpp usbreport.h)
