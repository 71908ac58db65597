vemo_add_test(remoteview_test SOURCES remoteview_test.cpp LIBS remoteview)
vemo_add_test(librarytext_test SOURCES librarytext_test.cpp LIBS vncclient)
vemo_add_test(libraryinternals_test SOURCES libraryinternals_test.cpp LIBS vncclient)
vemo_add_test(securitytypes_test SOURCES securitytypes_test.cpp LIBS vncclient)
vemo_add_test(vncclientthread_test SOURCES vncclientthread_test.cpp threadharness.h LIBS vncclient vemo_testsupport)
# Copies of the test find (or miss) the SSH module next to them.
target_compile_definitions(vncclientthread_test PRIVATE VEMO_SSH_MODULE_BUILT="$<TARGET_FILE:vemo-ssh>"
  VEMO_SSH_MODULE_RELATIVE="${VEMO_SSH_MODULE_RELATIVE}"
  VEMO_SSH_MODULE_INSTALLED="${CMAKE_INSTALL_PREFIX}/${VEMO_SSH_MODULE_DESTINATION}/vemo-ssh.so")
vemo_add_test(vncview_test SOURCES vncview_test.cpp LIBS vncview vemo_testsupport)
pkg_check_modules(TEST_GNUTLS REQUIRED IMPORTED_TARGET gnutls)
vemo_add_test(directoutput_test SOURCES directoutput_test.cpp LIBS vncclient PkgConfig::TEST_GNUTLS)
vemo_add_test(autoquality_test SOURCES autoquality_test.cpp LIBS vncclient)
