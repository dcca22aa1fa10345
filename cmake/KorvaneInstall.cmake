# Installed layout: the program folder the executable expects under
# lib/korvane/ (pages, translations and the sibling tools beside it), a
# launcher link in bin/, the desktop entry, icon and AppStream metadata.
include(GNUInstallDirs)
set(KORVANE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/korvane)

install(TARGETS korvane salvane dumper korvanectl RUNTIME DESTINATION ${KORVANE_INSTALL_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/html/ DESTINATION ${KORVANE_INSTALL_DIR}/html
        PATTERN CMakeLists.txt EXCLUDE)
foreach(folder languages translations plattheme)
  install(DIRECTORY ${KORVANE_PROGRAM_DIR}/${folder} DESTINATION ${KORVANE_INSTALL_DIR} OPTIONAL)
endforeach()
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"../${KORVANE_INSTALL_DIR}/korvane\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/korvane\" SYMBOLIC)
  file(CREATE_LINK \"../${KORVANE_INSTALL_DIR}/korvanectl\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/korvanectl\" SYMBOLIC)")
install(FILES ${PROJECT_SOURCE_DIR}/tools/korvanectl/korvanectl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/tools/korvanectl/korvanectl.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME korvanectl)
install(FILES ${PROJECT_SOURCE_DIR}/app/korvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/korvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/app/korvane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME com.velmora.Korvane.metainfo.xml)
# The polkit actions of the privileged repairs (salvane, and the CUPS commands
# of printers/CMakeLists.txt when the scheduler refuses a request): pkexec
# matches them by the installed program's path, known only when installing
# (the package installs under /usr).
install(CODE "
  set(KORVANE_SALVANE_PATH \"\${CMAKE_INSTALL_PREFIX}/${KORVANE_INSTALL_DIR}/salvane\")
  set(KORVANE_LPADMIN_PATH \"${KORVANE_LPADMIN_PATH}\")
  set(KORVANE_CUPSENABLE_PATH \"${KORVANE_CUPSENABLE_PATH}\")
  set(KORVANE_CUPSDISABLE_PATH \"${KORVANE_CUPSDISABLE_PATH}\")
  set(KORVANE_CUPSACCEPT_PATH \"${KORVANE_CUPSACCEPT_PATH}\")
  set(KORVANE_CUPSREJECT_PATH \"${KORVANE_CUPSREJECT_PATH}\")
  set(KORVANE_CANCEL_PATH \"${KORVANE_CANCEL_PATH}\")
  set(KORVANE_LP_PATH \"${KORVANE_LP_PATH}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/tools/salvane/com.velmora.korvane.policy.in\"
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/polkit-1/actions/com.velmora.korvane.policy\" @ONLY)")

# A Debian package of the same layout: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Printer helper: find printers, install drivers, repair printing")
set(CPACK_PACKAGE_CONTACT "Velmora <support@korvane.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, cups-client, pkexec, fontconfig, fonts-wqy-microhei | fonts-noto-cjk, gdb")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "system-config-printer, firewalld")
include(CPack)
