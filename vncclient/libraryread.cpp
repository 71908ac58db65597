// Counts what the library reads: a connection that is not TCP (a tunnel's
// socket pair) has no counters of its own.
#include "libraryinternals.h"

#include <dlfcn.h>

namespace
{
thread_local uint64_t consumed = 0;

using Reader = rfbBool (*)(rfbClient *, char *, unsigned int);

Reader libraryReader()
{
    static const Reader reader = reinterpret_cast<Reader>(dlsym(RTLD_NEXT, "ReadFromRFBServer"));
    return reader;
}
} // namespace

// Takes the library's place as WriteToRFBServer does (see
// libraryinternals.h), and hands every read on to the library's own.
extern "C" rfbBool ReadFromRFBServer(rfbClient *client, char *out, unsigned int n)
{
    const rfbBool read = libraryReader()(client, out, n);
    if (read)
        consumed += n;
    return read;
}

uint64_t LibraryInternals::bytesRead()
{
    return consumed;
}

void LibraryInternals::unread(unsigned n)
{
    consumed -= n;
}
