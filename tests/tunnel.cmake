# Sessions through SSH tunnels (a real sshd on loopback) and repeaters.
vemo_add_test(tunnel_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tunnel_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/e2e_servers.cpp
  LIBS vncview vemo_testsupport Qt6::Network
  TIMEOUT 300)
