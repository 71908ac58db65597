# The picture: piecewise smooth scaling, and what the VNC view paints.
vemo_add_test(gridscaler_test SOURCES gridscaler_test.cpp LIBS vncview vemo_testsupport)
vemo_add_test(vncview_display_test SOURCES vncview_display_test.cpp viewharness.h
  LIBS vncview vemo_testsupport)
