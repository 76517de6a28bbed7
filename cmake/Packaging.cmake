# The Linux tool as a Debian package: `cpack --preset release` (or `cpack` in a build
# directory) writes gridmoor_<version>_amd64.deb with /usr/bin/gridmoor, its desktop entry
# and its icon. Dependencies come from the binary (dpkg-shlibdeps); the spreadsheet
# application and a font with Chinese glyphs are recommended only, since the tool starts,
# and says there is no workbook, without them.
include(GNUInstallDirs)

install(TARGETS gridmoor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/assets/linux/gridmoor.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The icon is drawn at 48 x 48 only; the theme scales it for other sizes.
install(FILES ${PROJECT_SOURCE_DIR}/assets/linux/gridmoor-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME gridmoor.png)

# Debian wants a copyright file and a compressed changelog in the package's doc folder.
set(_gm_docdir ${CMAKE_INSTALL_DATADIR}/doc/gridmoor)
install(FILES ${PROJECT_SOURCE_DIR}/assets/linux/copyright DESTINATION ${_gm_docdir})
string(TIMESTAMP GRIDMOOR_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/assets/linux/changelog.in
               ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
find_program(GRIDMOOR_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${GRIDMOOR_GZIP} -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog)
add_custom_target(gridmoor_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${_gm_docdir})

# The program keeps its search path into LibreOffice's program folder: the UNO helper
# library Debian also links into the system library folder loads LibreOffice's private
# libraries (libreglo.so, ...) from beside itself, which only that folder has. Debian's
# checker flags any such path, so the package says why it has one.
install(FILES ${PROJECT_SOURCE_DIR}/assets/linux/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME gridmoor)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gridmoor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Gridmoor developers")
set(CPACK_PACKAGE_CONTACT "The Gridmoor developers <gridmoor@gridmoor.dev>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "merges runs of equal cells in a running LibreOffice Calc")
# The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the extended description.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "A small always-on-top window for people who build reports in\n"
       "spreadsheets. It merges every run of equal neighbours in one column or\n"
       "row of the workbook open in LibreOffice Calc while every cell under a\n"
       "merge keeps its own value, so sorting, filters and formulas still see\n"
       "every value; and it splits merged areas again, filling each blank from\n"
       "the cell before it. Its texts are in Simplified Chinese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-calc, fonts-noto-cjk | fonts-wqy-zenhei")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
