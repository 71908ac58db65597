# End to end: keys, clicks and the clipboard from the vemo program under its
# own Xvfb to an X client on TigerVNC's Xvnc, and the clipboard back; keys
# to QEMU's VNC server.
find_package(X11 REQUIRED)
# Reads the keysyms that arrive back as characters, whichever kind they are.
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)

# The X client on the server that reports what reaches it.
add_executable(e2e_xrecorder ${CMAKE_CURRENT_LIST_DIR}/e2e_xrecorder.cpp)
target_link_libraries(e2e_xrecorder PRIVATE X11::X11)
set_target_properties(e2e_xrecorder PROPERTIES AUTOMOC OFF)

vemo_add_test(input_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/input_e2e_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/e2e_servers.cpp ${CMAKE_CURRENT_LIST_DIR}/e2e_servers.h
          ${CMAKE_CURRENT_LIST_DIR}/shell_e2e_x11.cpp ${CMAKE_CURRENT_LIST_DIR}/shell_e2e_x11.h
  LIBS Qt6::Gui Qt6::Network X11::X11 X11::Xtst PkgConfig::XKBCOMMON TIMEOUT 240)
target_compile_definitions(input_e2e_test PRIVATE VEMO_BINARY="$<TARGET_FILE:vemo>"
  E2E_XRECORDER="$<TARGET_FILE:e2e_xrecorder>"
  E2E_LSAN_SUPPRESSIONS="${CMAKE_CURRENT_LIST_DIR}/sanitizers/lsan.supp")
add_dependencies(input_e2e_test vemo e2e_xrecorder)
