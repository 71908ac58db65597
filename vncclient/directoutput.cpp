#include "directoutput.h"

#include "socketwrite.h"

void DirectOutput::open(int socket, void *tlsSession)
{
    const std::lock_guard<std::mutex> guard(lock);
    opened = socket >= 0;
    fd = socket;
    tls = tlsSession;
}

bool DirectOutput::close()
{
    const std::lock_guard<std::mutex> guard(lock);
    opened = false;
    const bool sent = push(true);
    failed = false; // reported once; the next session starts clean
    return sent;
}

bool DirectOutput::tryWrite(const char *data, size_t size)
{
    const std::unique_lock<std::mutex> guard(lock, std::try_to_lock);
    // Bytes still unfinished go first: these wait for close() behind them.
    if (!guard.owns_lock() || !opened || failed || !unfinished.empty())
        return false;
    unfinished.assign(data, data + size);
    done = 0;
    push(false);
    return true;
}

// Sends what is unfinished: with 'wait' all of it, else what the socket
// takes now. False once the connection failed; the library then finds the
// same on its next read.
bool DirectOutput::push(bool wait)
{
    failed = failed || !SocketWrite::send(fd, tls, unfinished.data(), unfinished.size(), &done, wait);
    if (failed || done >= unfinished.size()) {
        // A clipboard's worth is not kept for the key presses after it.
        if (unfinished.capacity() > 65536)
            std::vector<char>().swap(unfinished);
        unfinished.clear();
        done = 0;
    }
    return !failed;
}
