# The platform stand-in and the application shell: main(), its command line
# and the main window.
find_package(Qt6 REQUIRED COMPONENTS Network)

set(shell_main_source ${CMAKE_CURRENT_LIST_DIR}/../shell/main.cpp)

vemo_add_test(platform_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_test.cpp LIBS platform)

# main() built without vemo's registration, so tests choose what the
# factory table holds: a few probe applications, or nothing at all.
add_executable(shell_probe ${shell_main_source} ${CMAKE_CURRENT_LIST_DIR}/shell_probe_apps.cpp)
target_compile_definitions(shell_probe PRIVATE VEMO_NO_BUILTIN_APPLICATION)
target_link_libraries(shell_probe PRIVATE vemoshell frontdoor)
add_executable(shell_probe_empty ${shell_main_source})
target_compile_definitions(shell_probe_empty PRIVATE VEMO_NO_BUILTIN_APPLICATION)
target_link_libraries(shell_probe_empty PRIVATE vemoshell frontdoor)

set(shell_process_definitions
  SHELL_PROBE="$<TARGET_FILE:shell_probe>"
  SHELL_PROBE_EMPTY="$<TARGET_FILE:shell_probe_empty>"
  VEMO_BINARY="$<TARGET_FILE:vemo>"
  SHELL_MAIN_SOURCE="${shell_main_source}"
  VEMO_VERSION="${PROJECT_VERSION}")

foreach(t shell_main_test shell_args_test)
  vemo_add_test(${t} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${t}.cpp LIBS Qt6::Network TIMEOUT 240)
  target_compile_definitions(${t} PRIVATE ${shell_process_definitions})
  add_dependencies(${t} shell_probe shell_probe_empty vemo)
endforeach()

foreach(t shell_window_test shell_menu_test shell_quality_test)
  vemo_add_test(${t} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${t}.cpp ${CMAKE_CURRENT_LIST_DIR}/shell_window_support.h
    LIBS vemoshell vemo_testsupport Qt6::Network TIMEOUT 240)
endforeach()

# End to end: the vemo program under its own Xvfb against TigerVNC's Xvnc.
find_package(X11 REQUIRED)
vemo_add_test(shell_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/shell_e2e_x11.cpp
          ${CMAKE_CURRENT_LIST_DIR}/e2e_servers.cpp ${CMAKE_CURRENT_LIST_DIR}/e2e_servers.h
          ${CMAKE_CURRENT_LIST_DIR}/shell_e2e_x11.h
  LIBS Qt6::Gui Qt6::Network X11::X11 X11::Xtst TIMEOUT 240)
target_compile_definitions(shell_e2e_test PRIVATE VEMO_BINARY="$<TARGET_FILE:vemo>"
  SHELL_LSAN_SUPPRESSIONS="${CMAKE_CURRENT_LIST_DIR}/sanitizers/lsan.supp")
add_dependencies(shell_e2e_test vemo)

vemo_add_test(shell_serverurl_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell_serverurl_test.cpp LIBS vemoshell)

# Signing in to Xvnc with each kind of security, the view in this process.
vemo_add_test(security_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/security_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/e2e_servers.cpp
  LIBS vncview vemo_testsupport Qt6::Network TIMEOUT 300)

# The window against Xvnc: remote resize, reconnecting after a lost session or
# a cancelled sign-in, servers connecting to a listening window.
vemo_add_test(window_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/e2e_servers.cpp
  LIBS vemoshell vemo_testsupport Qt6::Network TIMEOUT 300)
