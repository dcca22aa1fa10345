# CTest fixtures around the private CUPS scheduler (see the header of "bed").
#
#   korvane_cups_fixture(NAME DIR [strict])
# adds NAME_up / NAME_down and the fixture NAME. Tests that require it get the
# scheduler with ENVIRONMENT "CUPS_SERVER=DIR/cups.sock".
#
# The shared fixture "cups" lives in KORVANE_CUPS_BED_DIR; other subsystems use
# it with FIXTURES cups and ENVIRONMENT CUPS_SERVER=${KORVANE_CUPS_BED_DIR}/cups.sock.

set(KORVANE_CUPS_BED ${CMAKE_CURRENT_LIST_DIR}/bed CACHE INTERNAL "The CUPS test bed script")
set(KORVANE_CUPS_BED_DIR ${CMAKE_BINARY_DIR}/testbeds/cups CACHE INTERNAL "Folder of the shared CUPS test bed")

function(korvane_cups_fixture name dir)
  set(policy permissive)
  if(ARGN)
    list(GET ARGN 0 policy)
  endif()
  add_test(NAME ${name}_up COMMAND ${KORVANE_CUPS_BED} up ${dir} ${policy})
  add_test(NAME ${name}_down COMMAND ${KORVANE_CUPS_BED} down ${dir})
  set_tests_properties(${name}_up PROPERTIES FIXTURES_SETUP ${name} LABELS cups TIMEOUT 60)
  set_tests_properties(${name}_down PROPERTIES FIXTURES_CLEANUP ${name} LABELS cups TIMEOUT 60)
endfunction()

if(NOT TEST cups_up)
  korvane_cups_fixture(cups ${KORVANE_CUPS_BED_DIR})
endif()
