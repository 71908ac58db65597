# Idle CPU cost and input latency of the connection thread (not a test).
if(TARGET vemo_testsupport)
  add_executable(bench_idle_latency
    ${CMAKE_CURRENT_LIST_DIR}/idle_latency.cpp
    ${CMAKE_CURRENT_LIST_DIR}/idle_latency_server.h)
  target_link_libraries(bench_idle_latency PRIVATE vncclient vemo_testsupport Qt6::Core Qt6::Gui)
else()
  message(STATUS "bench_idle_latency needs the test server (VEMO_BUILD_TESTS and libvncserver)")
endif()
