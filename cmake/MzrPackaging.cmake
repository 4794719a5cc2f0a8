# Installing the program as a desktop application, and its Debian package.
#
#   cmake --install build --prefix /usr/local   the three programs in bin/, the desktop entry,
#                                               the icon and the project-file type in share/
#   scripts/package                             build/package/mzr4700_<version>_<arch>.deb
include(GNUInstallDirs)

install(TARGETS mzr4700 mzr4700ctl mzr4700-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/mzr4700.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/mzr4700.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/mzr4700-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME mzr4700.png)
# shared-mime-info reads every file of mime/packages; the package's triggers rebuild the
# database (and the desktop and icon caches) on installation, so no maintainer script is
# needed for them.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/mzr4700-project.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME mzr4700.xml)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The guides the README links to (docs/*.md), beside it as in the source tree.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs FILES_MATCHING PATTERN "*.md" PATTERN "screenshots" EXCLUDE)
# The show automation bridge as a service (mzr4700-bridge@<unit address>), its user and its
# options in /etc/default/mzr4700-bridge, a conffile of the package (packaging/debian/conffiles):
# the site's changes survive upgrades, and a purge removes it with the service's user.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/mzr4700-bridge@.service DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/mzr4700-bridge.sysusers
        DESTINATION lib/sysusers.d RENAME mzr4700-bridge.conf)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/mzr4700-bridge.default DESTINATION /etc/default RENAME mzr4700-bridge)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mzr4700)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for MZR4700 cinema audio processors")
set(CPACK_PACKAGE_DESCRIPTION
    "Sets up MZR4700 units on the local network: inputs, outputs, equalizers and the theater\n\
profile, with project files. mzr4700ctl searches, backs up, restores, audits and edits\n\
units from the command line; mzr4700-sim plays units on the loopback network.")
set(CPACK_PACKAGE_CONTACT "MZR4700 maintainers <mzr4700@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The libraries come from dpkg-shlibdeps; the window's platform plugins ship with libqt6gui6,
# which that scan finds through the program's link to Qt Gui.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Chinese texts for the standard dialogs, and a font with the Chinese captions.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk")
# The maintainer scripts: the bridge service's user (made on configure, removed on purge), its
# instances restarted on upgrade and stopped on removal; and the options file as a conffile.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
