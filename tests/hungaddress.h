// A loopback address whose connects never complete: a listener with a full
// backlog drops further SYNs, as an address that never answers would.
#pragma once

#include "socketutil.h"

#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

class HungAddress
{
public:
    HungAddress()
    {
        listener = vemotest::listenOnLoopback(&port);
        ::listen(listener.get(), 0);
        for (int i = 0; i < 4; ++i) {
            fillers.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(port);
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::connect(fillers.back().get(), reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
        }
    }
    quint16 port = 0;

private:
    vemotest::UniqueFd listener;
    std::vector<vemotest::UniqueFd> fillers;
};
