#ifndef SOCKETWRITE_H
#define SOCKETWRITE_H

#include <cstddef>

// Every write to the server, the library's own included (see
// libraryinternals.h). A write that has to wait for the socket waits in
// poll() on the socket and on the calling thread's abort descriptor, so
// that an abort ends it on any transport: shutting the socket down does
// not, for a full AF_UNIX socket only becomes writable when its peer reads.
namespace SocketWrite
{
// The descriptor whose readability ends the calling thread's waiting
// writes; -1, the default, lets them wait for the socket alone.
void setAbortDescriptor(int fd);

// Sends data[*done, size) over 'sock', or over 'tls' (a gnutls_session_t)
// when there is one, advancing *done: with 'wait' all of it, else what the
// socket takes now. False when the connection failed or an abort ended the
// wait.
bool send(int sock, void *tls, const char *data, size_t size, size_t *done, bool wait);
} // namespace SocketWrite

#endif
