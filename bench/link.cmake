# The emulated link and the X helpers of bench/link_bench.py (vemo next to
# TigerVNC's viewer over a slow link).
find_package(X11)
add_executable(bench_linkemu ${CMAKE_CURRENT_LIST_DIR}/linkemu.cpp)
set_target_properties(bench_linkemu PROPERTIES AUTOMOC OFF)
if(X11_FOUND AND X11_Xdamage_FOUND AND X11_XTest_FOUND)
  add_executable(bench_linkdesk ${CMAKE_CURRENT_LIST_DIR}/linkdesk.cpp)
  target_link_libraries(bench_linkdesk PRIVATE X11::X11)
  add_executable(bench_linkwatch ${CMAKE_CURRENT_LIST_DIR}/linkwatch.cpp)
  target_link_libraries(bench_linkwatch PRIVATE X11::X11 X11::Xdamage X11::Xtst)
  set_target_properties(bench_linkdesk bench_linkwatch PROPERTIES AUTOMOC OFF)
else()
  message(STATUS "bench_linkdesk and bench_linkwatch need libx11-dev, libxdamage-dev and libxtst-dev")
endif()
