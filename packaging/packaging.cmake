# Installation in the usual places (GNUInstallDirs) and the Debian package:
#   cmake --install build [--prefix DIR]
#   (cd build && cpack -G DEB)
# The catalogues are installed by translations/CMakeLists.txt.

install(TARGETS vemo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vemo-ssh LIBRARY DESTINATION ${VEMO_SSH_MODULE_DESTINATION})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vemo.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vemo.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian ships manual pages compressed; -n keeps the archive reproducible.
set(vemo_manpage ${PROJECT_SOURCE_DIR}/doc/vemo.1)
set(vemo_manpage_gz ${CMAKE_BINARY_DIR}/doc/vemo.1.gz)
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${vemo_manpage_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${vemo_manpage} > ${vemo_manpage_gz}
  DEPENDS ${vemo_manpage}
  VERBATIM)
add_custom_target(vemo_manpage ALL DEPENDS ${vemo_manpage_gz})
install(FILES ${vemo_manpage_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vemo)
set(CPACK_PACKAGE_VENDOR "vemo")
set(CPACK_PACKAGE_CONTACT "vemo maintainers <vemo@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VNC viewer for touch screens and desktops")
set(CPACK_PACKAGE_DESCRIPTION
  "vemo shows the desktop of a VNC (RFB) server, pixel for pixel or scaled to fit
the window, and sends taps, drags, wheel turns, key presses and clipboard text
back. It was made for a handheld Linux device with a touch screen and soft
keys, and runs the same on a desktop.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' own packages (libqt6widgets6, libvncclient1, libssh-4 for
# the SSH module, ...) with the versions the program and its module need,
# as dpkg-shlibdeps reads them from the build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so not seen by dpkg-shlibdeps: without Qt's platform
# plugins (xcb, wayland, offscreen) no window can open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt's own texts (the buttons of its dialogs) in the user's language; where
# they run, saved passwords go to the Secret Service and the start screen
# lists the servers Avahi finds. vemo works without any of them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, gnome-keyring, avahi-daemon")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
