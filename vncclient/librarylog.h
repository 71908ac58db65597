#ifndef LIBRARYLOG_H
#define LIBRARYLOG_H

#include <QString>

// What libvncclient logs, captured on the connection thread that caused
// it: the library tells why a connection failed only in its log lines, so
// they are read here for what the user must be told (see LibraryText).
class LibraryLog
{
public:
    // What the lines mean to the connection.
    class Listener
    {
    public:
        // A message for the user; not 'final' when a later, more precise
        // one may still replace it.
        virtual void libraryMessage(const QString &message, bool final) = 0;
        // The library reads on after a message it cannot parse: the
        // connection must end now.
        virtual void endUnreadableConnection() = 0;
        // Whether the SSH tunnel under the connection went.
        virtual bool tunnelLost() const = 0;

    protected:
        ~Listener() = default;
    };

    explicit LibraryLog(Listener &listener) : listener(listener) {}
    LibraryLog(const LibraryLog &) = delete;
    LibraryLog &operator=(const LibraryLog &) = delete;

    // Connection thread: the library's lines on this thread come here from
    // now until release(), read afresh for a new connection.
    void capture();
    void release();

    // Reads one line the library logged.
    void read(const QString &line);

private:
    static void libraryOutput(const char *format, ...);

    Listener &listener;
    bool protocolFault = false; // the server sent what the library cannot parse
};

#endif
