# The start screen: saved, recent and discovered servers, connection files,
# the keyring; under private D-Bus buses with a keyring and an Avahi daemon.
vemo_add_test(frontdoor_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/frontdoor_test.cpp
  LIBS frontdoor vemo_testsupport TIMEOUT 300
  WRAPPER ${CMAKE_CURRENT_LIST_DIR}/support/privatebuses.sh)
