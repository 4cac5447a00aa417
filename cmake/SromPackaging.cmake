# The Linux package: `cpack -G DEB` in a build folder makes srom-tool_<version>_
# <arch>.deb with /usr/bin/srom-tool and srom-cli, the desktop menu's entry,
# the icon in the hicolor theme, manual pages made from the programs' --help,
# the copyright and the changelog. The version is the project's.
include_guard(GLOBAL)
include(GNUInstallDirs)

set(SROM_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging/linux)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

install(TARGETS srom-cli srom-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${SROM_PACKAGING_DIR}/srom-tool.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/res/app_icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME srom-tool.svg)
install(FILES ${PROJECT_SOURCE_DIR}/res/app_icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME srom-tool.png)
install(FILES ${SROM_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/srom-tool)

# The changelog and the manual pages are made when the package is: gzip -9n
# (no name, no time, so that the same sources give the same bytes) and
# help2man, which runs each program's --help and --version. A package
# without them would be silently smaller, so a missing help2man stops it.
find_program(SROM_HELP2MAN help2man)
find_program(SROM_GZIP gzip REQUIRED)
set(SROM_PACKAGE_WORK ${PROJECT_BINARY_DIR}/package-files)
set(SROM_MAN_NAME_srom-cli "program and check USB Ethernet adapters' EEPROM or eFuse from a terminal")
set(SROM_MAN_NAME_srom-tool "the window that programs USB Ethernet adapters' EEPROM or eFuse")
# The changelog's newest entry tells what this version brought: a package of
# a version the changelog does not describe is stopped.
file(STRINGS ${SROM_PACKAGING_DIR}/changelog srom_changelog_top LIMIT_COUNT 1)
string(REGEX MATCH "^srom-tool \\(([^)]*)\\)" srom_changelog_top "${srom_changelog_top}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  install(CODE "message(FATAL_ERROR \"packaging/linux/changelog's newest entry is \"
                        \"'${CMAKE_MATCH_1}', the project's version ${PROJECT_VERSION}: \"
                        \"add an entry for ${PROJECT_VERSION}\")")
endif()
if(NOT SROM_HELP2MAN)
  install(CODE "message(FATAL_ERROR \"The manual pages are made with help2man, \"
                        \"which is not installed: ./scripts/bootstrap.sh --packages\")")
endif()
install(CODE "
  file(MAKE_DIRECTORY \"${SROM_PACKAGE_WORK}\")
  execute_process(
      COMMAND ${CMAKE_COMMAND} -E copy \"${SROM_PACKAGING_DIR}/changelog\"
              \"${SROM_PACKAGE_WORK}/changelog\"
      COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND \"${SROM_GZIP}\" -9nf \"${SROM_PACKAGE_WORK}/changelog\"
                  COMMAND_ERROR_IS_FATAL ANY)
  foreach(program srom-cli srom-tool)
    if(program STREQUAL srom-cli)
      set(binary \"$<TARGET_FILE:srom-cli>\")
      set(name \"${SROM_MAN_NAME_srom-cli}\")
    else()
      set(binary \"$<TARGET_FILE:srom-tool>\")
      set(name \"${SROM_MAN_NAME_srom-tool}\")
    endif()
    execute_process(
        COMMAND \"${SROM_HELP2MAN}\" --no-info --section=1 \"--name=\${name}\"
                \"--output=${SROM_PACKAGE_WORK}/\${program}.1\" \"\${binary}\"
        TIMEOUT 30 COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND \"${SROM_GZIP}\" -9nf \"${SROM_PACKAGE_WORK}/\${program}.1\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
")
install(FILES ${SROM_PACKAGE_WORK}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/srom-tool)
install(FILES ${SROM_PACKAGE_WORK}/srom-cli.1.gz ${SROM_PACKAGE_WORK}/srom-tool.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME srom-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR VELK)
set(CPACK_PACKAGE_CONTACT "VELK line tools <srom-tool@velk.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "EEPROM and eFuse programmer for USB Ethernet adapters")
set(CPACK_PACKAGE_DESCRIPTION
    "srom-tool writes the configuration memory of USB 3.0 gigabit Ethernet
adapters built on the KM62058 or KM62057D controller: the serial EEPROM or
the one-time eFuse. For every unit on the production line it builds the
image, writes it, reads it back and compares, logs the unit and steps the
MAC address and serial number on, keeping a production ledger so that no
address is given twice.
.
The package holds the window, srom-tool, and srom-cli, which runs the same
operations from a terminal. The desktop menu's entry opens the user's
station in ~/.local/share/srom-tool/station.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; Qt's platform plugins are loaded at
# run time, and the window is laid out in Liberation Mono (Courier New's
# metrics), so both are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
include(CPack)
