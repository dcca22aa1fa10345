# Shared compile settings and helpers for Korvane's targets.

set(KORVANE_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wformat=2 -Wno-unused-parameter)
if(KORVANE_WERROR)
  list(APPEND KORVANE_WARNINGS -Werror)
endif()

if(KORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KORVANE_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

add_compile_definitions(QT_NO_FOREACH QT_DISABLE_DEPRECATED_BEFORE=0x050F00 QT_USE_QSTRINGBUILDER)

# korvane_library(NAME SOURCES ... [LIBS ...])
# One static library per subsystem folder, public headers found from the source root.
function(korvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_compile_options(${name} PRIVATE ${KORVANE_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# korvane_executable(NAME SOURCES ... [LIBS ...])
function(korvane_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_compile_options(${name} PRIVATE ${KORVANE_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

# korvane_test(NAME SOURCES ... [LIBS ...] [LABELS ...] [FIXTURES ...] [ENVIRONMENT ...] [ISOLATED_NETWORK])
# A GoogleTest binary whose cases CTest lists one by one when the tests run.
# ISOLATED_NETWORK runs the binary in a network namespace with only loopback
# (the web engine resolves host names even when told not to); such a binary is
# registered as one CTest test.
function(korvane_test name)
  cmake_parse_arguments(ARG "ISOLATED_NETWORK" "TIMEOUT" "SOURCES;LIBS;LABELS;FIXTURES;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests ${PROJECT_BINARY_DIR}/generated)
  target_compile_options(${name} PRIVATE ${KORVANE_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock korvane_testsupport)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(env "KORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "KORVANE_PROGRAM_DIR=${KORVANE_PROGRAM_DIR}"
          "KORVANE_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output" "QT_QPA_PLATFORM=offscreen"
          ${ARG_ENVIRONMENT})
  if(KORVANE_SANITIZE)
    list(APPEND env "ASAN_OPTIONS=verify_asan_link_order=0:detect_stack_use_after_return=0"
                    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizer/lsan.supp:print_suppressions=0"
                    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  set(props ENVIRONMENT "${env}" TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  if(ARG_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
  # Expanding ${props} flattens the list-valued ENVIRONMENT, LABELS and
  # FIXTURES_REQUIRED (only their first entry would survive), so those are set
  # with each list kept whole.
  if(ARG_ISOLATED_NETWORK)
    add_test(NAME ${name} COMMAND unshare -n -- $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${ARG_TIMEOUT}
                         LABELS "${ARG_LABELS}" FIXTURES_REQUIRED "${ARG_FIXTURES}")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    # The case names are known only when the tests run; this file is read then.
    set(properties_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${properties_file}
      "foreach(test IN LISTS ${name}_TESTS)\n"
      "  set_tests_properties(\"\${test}\" PROPERTIES ENVIRONMENT [==[${env}]==]\n"
      "    LABELS [==[${ARG_LABELS}]==] FIXTURES_REQUIRED [==[${ARG_FIXTURES}]==])\n"
      "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties_file})
  endif()
endfunction()
