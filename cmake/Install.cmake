# Install rules and the Debian package (cpack -G DEB). Programs go to bin/ (the device
# simulator, a test tool, to lib/veltro/), their man pages to share/man/man1, the files the
# program looks for to share/veltro/, copyright and changelog to share/doc/veltro, and the
# desktop entry, icon and the port service's systemd user unit where the desktop and systemd
# look for them.
include(GNUInstallDirs)

# Each program with the line its man page gives it.
set(VELTRO_PROGRAMS veltro veltro-vspd veltro-vspctl veltroctl)
set(VELTRO_SUMMARY_veltro "configuration and test utility for VTM5800x device servers")
set(VELTRO_SUMMARY_veltro-vspd "virtual serial port service of VELTRO")
set(VELTRO_SUMMARY_veltro-vspctl "list and command the virtual serial ports of veltro-vspd")
set(VELTRO_SUMMARY_veltroctl "VTM5800x device manager on the command line")
install(TARGETS ${VELTRO_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS veltro-devsim RUNTIME DESTINATION lib/veltro)

# The man pages are made from each program's own --help and --version (not in sanitizer
# builds, whose programs are never packaged).
find_program(HELP2MAN help2man)
if(HELP2MAN AND NOT (VELTRO_SANITIZE OR VELTRO_FUZZ))
  set(man_pages)
  foreach(program ${VELTRO_PROGRAMS})
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${HELP2MAN} --no-info --name=${VELTRO_SUMMARY_${program}}
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${page}
      DEPENDS ${program}
      COMMENT "Man page of ${program}"
      VERBATIM)
    list(APPEND man_pages ${page}.gz)
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
elseif(NOT HELP2MAN)
  message(STATUS "help2man not found: no man pages (scripts/setup test installs it)")
endif()

add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/changelog
          ${CMAKE_BINARY_DIR}/changelog
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES data/TUNLDRV.inf data/VELTRO.html data/VELTRO_Logo.ico data/VELTRO_Title.dat
        DESTINATION ${CMAKE_INSTALL_DATADIR}/veltro)
install(FILES packaging/veltro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/veltro.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES packaging/veltro-vspd.service DESTINATION lib/systemd/user)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES vspd/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME README.vspd.md)

set(CPACK_PACKAGE_NAME veltro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VELTRO developers <veltro@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration and test utility for VTM5800x serial-to-network device servers")
# The summary above is the description's first line.
set(CPACK_PACKAGE_DESCRIPTION
    "VELTRO finds the device servers on the local network, edits and sends back
their configuration, exports and imports it as text, restores, reboots and
upgrades them, polls their status, and tests their serial ports with two
terminals.
.
The package also holds veltro-vspd, a service that gives programs virtual COM
ports (pseudo-terminals) carried over TCP or UDP to a device, its control tool
veltro-vspctl, and veltroctl, the device manager on the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Library dependencies come from the binaries themselves; the Qt platform plugin and the
# tools the service and the tests' peers do not need are not listed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
include(CPack)
