#ifndef REPEATER_H
#define REPEATER_H

#include <QString>

#include <functional>

// The greeting of an UltraVNC-style repeater, which pairs a viewer with
// the server that registered the same ID: it sends "RFB 000.000\n", the
// viewer answers with a 250-byte block holding "ID:" and the ID,
// zero-padded. After that the repeater relays the server's own greeting.
namespace Repeater
{
constexpr int idBlockSize = 250;
// Longest ID that fits the block with its prefix and a terminating zero.
constexpr int maximumIdLength = idBlockSize - 4;

// Waits on wakeFd too; stopRequested() decides whether to give up. On
// failure 'error' says why for the user, empty when stopped.
bool introduce(int fd, const QString &id, int timeoutMs, int wakeFd, const std::function<bool()> &stopRequested,
               QString *error);
}

#endif
