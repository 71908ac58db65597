# Continuous updates and fences: a scripted server, and TigerVNC's Xvnc on
# loopback behind a recording relay.
vemo_add_test(continuousupdates_test
  SOURCES continuousupdates_test.cpp e2e_servers.cpp e2e_servers.h viewharness.h
  LIBS vncview vemo_testsupport Qt6::Network TIMEOUT 180)
