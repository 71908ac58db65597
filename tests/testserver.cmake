# Self-test of the shared test servers (tests/support).
vemo_add_test(testserver_test
  SOURCES testserver_test.cpp
  LIBS vemo_testsupport PkgConfig::LIBVNCCLIENT Qt6::Gui
  TIMEOUT 120)

vemo_add_test(clientstream_test
  SOURCES support/clientstream_test.cpp
  LIBS vemo_testsupport
  TIMEOUT 60)

vemo_add_test(rawserver_test
  SOURCES support/rawserver_test.cpp
  LIBS vemo_testsupport
  TIMEOUT 60)
