# USB printer identification.
list(APPEND KORVANE_DISCOVERY_SOURCES
  usbprinterinfo.h
  usbprinters.cpp usbprinters.h
  usbreport.cpp usbreport.h
  usbsetup.cpp usbsetup.h)
# Adding a found USB printer asks the scheduler and makes the queue.
list(APPEND KORVANE_DISCOVERY_LIBS korvane_printers Cups::Cups)
