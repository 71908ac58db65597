# Pointer, keyboard and clipboard traffic of the VNC view.
find_package(Qt6 REQUIRED COMPONENTS Network)
vemo_add_test(input_interpreters_test SOURCES input_interpreters_test.cpp LIBS vncview)
vemo_add_test(vncview_input_test SOURCES vncview_input_test.cpp LIBS vncview vemo_testsupport)
vemo_add_test(vncview_touch_test SOURCES vncview_touch_test.cpp LIBS vncview vemo_testsupport)
vemo_add_test(vncview_clipboard_test SOURCES vncview_clipboard_test.cpp LIBS vncview vemo_testsupport Qt6::Network X11)
