# Quality changed while connected, and what the connection thread measures:
# libvncserver's test server and TigerVNC's Xvnc on loopback, behind relays.
vemo_add_test(qualitychange_test
  SOURCES qualitychange_test.cpp threadharness.h e2e_servers.cpp e2e_servers.h
  LIBS vncclient vemo_testsupport Qt6::Network TIMEOUT 240)
