# Pointer, keyboard and clipboard traffic of the VNC view.
find_package(Qt6 REQUIRED COMPONENTS Network)
vemo_add_test(input_interpreters_test SOURCES input_interpreters_test.cpp LIBS vncview)
vemo_add_test(vncview_input_test SOURCES vncview_input_test.cpp LIBS vncview vemo_testsupport)
vemo_add_test(vncview_touch_test SOURCES vncview_touch_test.cpp LIBS vncview vemo_testsupport)
# The touchpad's pointer over the picture on an X server's screen.
add_test(NAME vncview_touch_x11_test COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/xvfbrun.sh
  $<TARGET_FILE:vncview_touch_test> touchpadMovesThePointer)
set_tests_properties(vncview_touch_x11_test PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 300)
vemo_sanitizer_environment(vncview_touch_x11_test)
vemo_add_test(vncview_clipboard_test SOURCES vncview_clipboard_test.cpp LIBS vncview vemo_testsupport Qt6::Network X11)
