# The start screen: saved, recent and discovered servers, connection files,
# the keyring; under private D-Bus buses with a keyring and an Avahi daemon.
find_package(Qt6 REQUIRED COMPONENTS Network)
vemo_add_test(frontdoor_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/frontdoor_test.cpp
  LIBS frontdoor vemo_testsupport Qt6::Network TIMEOUT 300
  WRAPPER ${CMAKE_CURRENT_LIST_DIR}/support/privatebuses.sh)
