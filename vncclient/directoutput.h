#ifndef DIRECTOUTPUT_H
#define DIRECTOUTPUT_H

#include <cstddef>
#include <mutex>
#include <vector>

// Lets the user's input leave while libvncclient reads a long rectangle,
// and while the connection thread waits for the server.
// The library reads a rectangle to its end before the connection loop runs
// again: on a slow link a key pressed meanwhile would wait for the rest of
// a big update. While the connection thread has opened this output, the
// library writes nothing of its own (see RfbSession), so the thread that
// takes the input may write it to the socket itself, without waiting:
// what the socket does not take at once is finished by the connection
// thread when it closes the output, before the library writes again.
//
// TLS allows one thread sending while another receives on a session.
class DirectOutput
{
public:
    DirectOutput() = default;
    DirectOutput(const DirectOutput &) = delete;
    DirectOutput &operator=(const DirectOutput &) = delete;

    // Connection thread. Opens the output to the connection's socket, or
    // its TLS session (a gnutls_session_t) when there is one, until close().
    void open(int socket, void *tlsSession);
    // Connection thread. Finishes a message a direct write left half-sent,
    // waiting for the socket as the library's writes do, and closes the
    // output.
    // False when the connection failed.
    bool close();

    // Any thread: writes 'size' bytes now, if the output is open and no one
    // else is writing. True when they are on their way (sent, or held for
    // close() to finish); false when the caller must send them some other
    // way. Never waits for the network.
    bool tryWrite(const char *data, size_t size);

private:
    bool push(bool wait);

    std::mutex lock;
    // Guarded by lock.
    bool opened = false;
    int fd = -1;
    void *tls = nullptr; // gnutls_session_t
    std::vector<char> unfinished;
    size_t done = 0; // of unfinished
    bool failed = false;
};

#endif
