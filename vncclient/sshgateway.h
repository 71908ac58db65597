#ifndef SSHGATEWAY_H
#define SSHGATEWAY_H

#include <QString>

// The SSH gateway a tunnel goes through, as --via names it.
struct SshGateway
{
    QString user; // empty: ~/.ssh/config's User, else the local user
    QString host;
    int port = 0; // 0: ~/.ssh/config's Port, else 22
};

#endif
