#include "socketwrite.h"

#include "libraryinternals.h"

#include <gnutls/gnutls.h>

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>

namespace
{
thread_local int abortDescriptor = -1;
// Set around SetFormatAndEncodings by sendEncodingsOnly().
thread_local bool dropPixelFormat = false;
} // namespace

void SocketWrite::setAbortDescriptor(int fd)
{
    abortDescriptor = fd;
}

bool SocketWrite::send(int sock, void *tls, const char *data, size_t size, size_t *done, bool wait)
{
    while (*done < size) {
        ssize_t sent;
        bool blocked;
        if (tls) {
            // A record TLS could not send whole is finished by the same
            // call again, before anything else goes out.
            sent = gnutls_record_send(static_cast<gnutls_session_t>(tls), data + *done, size - *done);
            blocked = sent == GNUTLS_E_AGAIN || sent == GNUTLS_E_INTERRUPTED;
        } else {
            sent = ::send(sock, data + *done, size - *done, MSG_DONTWAIT | MSG_NOSIGNAL);
            blocked = sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
        }
        if (sent > 0) {
            *done += size_t(sent);
            continue;
        }
        if (!blocked)
            return false;
        if (!wait)
            return true;
        // poll() skips a negative descriptor.
        pollfd fds[2] = {{sock, POLLOUT, 0}, {abortDescriptor, POLLIN, 0}};
        int ready;
        int error;
        {
            const LibraryInternals::WaitingForNetwork waiting;
            ready = poll(fds, 2, -1);
            error = errno;
        }
        if (ready < 0 && error != EINTR)
            return false;
        if (fds[1].revents & POLLIN)
            return false;
    }
    return true;
}

// Takes the library's place; see libraryinternals.h. Sessions never use
// SASL or a recorded session, the two other ways 0.9.14 writes.
extern "C" rfbBool WriteToRFBServer(rfbClient *client, const char *buf, unsigned int n)
{
    if (dropPixelFormat && n == sz_rfbSetPixelFormatMsg && uint8_t(buf[0]) == rfbSetPixelFormat) {
        dropPixelFormat = false;
        return TRUE;
    }
    size_t done = 0;
    if (SocketWrite::send(client->sock, client->tlsSession, buf, n, &done, true))
        return TRUE;
    rfbClientErr("write failed\n");
    return FALSE;
}

bool LibraryInternals::sendEncodingsOnly(rfbClient *client)
{
    dropPixelFormat = true;
    const bool sent = SetFormatAndEncodings(client);
    dropPixelFormat = false;
    return sent;
}
