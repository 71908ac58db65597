# The picture: piecewise smooth scaling, and what the VNC view paints.
vemo_add_test(gridscaler_test SOURCES gridscaler_test.cpp LIBS vncview vemo_testsupport)
vemo_add_test(vncview_display_test SOURCES vncview_display_test.cpp viewharness.h
  LIBS vncview vemo_testsupport)
# Appended, so the sanitizers' options set by vemo_add_test stay; the later
# QT_QPA_PLATFORM wins.
set_property(TEST vncview_display_test APPEND PROPERTY ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_SOURCE_DIR}/support/twoscreens.json")
# The picture and the pointer at 2 and 1.5 device pixels per logical one.
foreach(ratio 2 1.5)
  string(REPLACE "." "_" name vncview_display_ratio${ratio}_test)
  add_test(NAME ${name} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/xvfbrun.sh
    $<TARGET_FILE:vncview_display_test> devicePixelsShownAndClicked)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb;QT_SCALE_FACTOR=${ratio}" TIMEOUT 300)
  vemo_sanitizer_environment(${name})
endforeach()
