# The VNC view against hostile servers, and connect/close cycles under load.
vemo_add_test(vncview_hostile_test SOURCES vncview_hostile_test.cpp viewharness.h
  LIBS vncview vemo_testsupport TIMEOUT 240)
# Alone: ctest -L lifecycle (VEMO_LIFECYCLE_CYCLES=1000 for the long run).
vemo_add_test(vncview_lifecycle_test SOURCES vncview_lifecycle_test.cpp viewharness.h
  LIBS vncview vemo_testsupport TIMEOUT 900 LABELS lifecycle)
