// A scripted raw TCP server on 127.0.0.1 and a free port, for tests of
// servers that stall, close early or misbehave. Every accepted connection
// plays the same script from the start; when the script ends the
// connection stays open, and whatever the client sends is kept.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class RawServer
{
public:
    struct Step
    {
        enum Kind { Send, Expect, Pause, Close, Reset, StartTls };
        Kind kind = Send;
        QByteArray bytes; // Send
        int count = 0;    // Expect: bytes to read from the client first
        int ms = 0;       // Pause

        static Step send(const QByteArray &bytes) { return {Send, bytes, 0, 0}; }
        static Step expect(int count) { return {Expect, {}, count, 0}; }
        static Step pause(int ms) { return {Pause, {}, 0, ms}; }
        // A pause in which the server reads nothing either.
        static Step pauseReading(int ms) { return {Pause, {}, 1, ms}; }
        // Orderly close (FIN) once everything sent so far is out.
        static Step close() { return {Close, {}, 0, 0}; }
        // Abortive close (RST).
        static Step reset() { return {Reset, {}, 0, 0}; }
        // An anonymous TLS handshake; the steps after it go through TLS.
        static Step startTls() { return {StartTls, {}, 0, 0}; }
    };

    enum Mode {
        Silent,             // accepts, never sends a byte
        StallAfterVersion,  // sends "RFB 003.008\n", then nothing
        StallAfterSecurity, // version, security types [2], reads the choice, then nothing
        CloseAfterAccept,   // closes at once
    };

    explicit RawServer(Mode mode);
    explicit RawServer(const QList<Step> &script);
    ~RawServer();
    RawServer(const RawServer &) = delete;
    RawServer &operator=(const RawServer &) = delete;

    static QList<Step> script(Mode mode);

    bool start();
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const;
    int acceptedCount() const;
    // Bytes each connection's client sent so far, in accept order.
    QList<QByteArray> received() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
