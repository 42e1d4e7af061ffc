# Install rules and the Debian package (cpack -G DEB). Programs go to bin/, the files the
# program looks for to share/veltro/, and the desktop entry, icon and the port service's
# systemd user unit where the desktop and systemd look for them.
include(GNUInstallDirs)

set(VELTRO_PROGRAMS veltro veltro-vspd veltro-vspctl veltro-devsim)
if(TARGET veltroctl)
  list(APPEND VELTRO_PROGRAMS veltroctl)
endif()
install(TARGETS ${VELTRO_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
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
set(CPACK_PACKAGE_CONTACT "VELTRO developers <veltro@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration and test utility for VTM5800x serial-to-network device servers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Library dependencies come from the binaries themselves; the Qt platform plugin and the
# tools the service and the tests' peers do not need are not listed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
include(CPack)
