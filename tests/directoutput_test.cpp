// Input written past the connection thread: what the socket cannot take at
// once is finished in order by close(), over a plain socket and over TLS,
// and a lost peer is reported.
#include "directoutput.h"

#include <QtTest>

#include <gnutls/gnutls.h>

#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// A connected pair with small buffers; with `tls`, an anonymous TLS session
// on each end, the client's socket non-blocking as the viewer's is.
struct Pair
{
    explicit Pair(bool tls)
    {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        const int small = 16384;
        setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        if (tls) {
            // Both ends are the test's: the viewer's set-up is not made here.
            gnutls_global_init();
            gnutls_anon_allocate_client_credentials(&clientCredentials);
            gnutls_anon_allocate_server_credentials(&serverCredentials);
            gnutls_init(&client, GNUTLS_CLIENT | GNUTLS_NO_SIGNAL);
            gnutls_init(&server, GNUTLS_SERVER);
            for (gnutls_session_t s : {client, server})
                gnutls_priority_set_direct(s, "NORMAL:+ANON-ECDH:+ANON-DH", nullptr);
            gnutls_credentials_set(client, GNUTLS_CRD_ANON, clientCredentials);
            gnutls_credentials_set(server, GNUTLS_CRD_ANON, serverCredentials);
            gnutls_transport_set_int(client, fds[0]);
            gnutls_transport_set_int(server, fds[1]);
            int serverResult = 0;
            std::thread peer([&] { serverResult = gnutls_handshake(server); });
            const int clientResult = gnutls_handshake(client);
            peer.join();
            handshakes = (clientResult != 0) + (serverResult != 0);
        }
        fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    }
    ~Pair()
    {
        if (client) {
            gnutls_deinit(client);
            gnutls_deinit(server);
            gnutls_anon_free_client_credentials(clientCredentials);
            gnutls_anon_free_server_credentials(serverCredentials);
            gnutls_global_deinit();
        }
        ::close(fds[0]);
        ::close(fds[1]);
    }
    // What the peer reads until `size` bytes or the end.
    std::string read(size_t size)
    {
        std::string got;
        char chunk[8192];
        while (got.size() < size) {
            const ssize_t n =
                server ? gnutls_record_recv(server, chunk, sizeof chunk) : ::read(fds[1], chunk, sizeof chunk);
            if (n <= 0)
                break;
            got.append(chunk, size_t(n));
        }
        return got;
    }

    int fds[2] = {-1, -1};
    gnutls_session_t client = nullptr, server = nullptr;
    gnutls_anon_client_credentials_t clientCredentials = nullptr;
    gnutls_anon_server_credentials_t serverCredentials = nullptr;
    int handshakes = 0; // failed ones
};
} // namespace

class DirectOutputTest : public QObject
{
    Q_OBJECT

private slots:
    void finishesInOrder_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::newRow("plain") << false;
        QTest::newRow("TLS") << true;
    }
    void finishesInOrder()
    {
        QFETCH(bool, tls);
        Pair pair(tls);
        QVERIFY(pair.fds[0] >= 0 && pair.handshakes == 0);
        DirectOutput output;
        QVERIFY(!output.tryWrite("shut", 4)); // not open: the caller queues it
        output.open(pair.fds[0], pair.client);
        const std::string key("\x04\x01\0\0\0\0\0a", 8);
        std::string clipboard(1 << 20, '\0');
        for (size_t i = 0; i < clipboard.size(); ++i)
            clipboard[i] = char(i * 7 / 3);
        QVERIFY(output.tryWrite(key.data(), key.size()));
        QVERIFY(output.tryWrite(clipboard.data(), clipboard.size())); // more than the socket holds
        QVERIFY(!output.tryWrite("late", 4)); // would overtake the unfinished rest
        std::string received;
        std::thread peer([&] { received = pair.read(key.size() + clipboard.size()); });
        const bool closed = output.close();
        peer.join();
        QVERIFY(closed);
        QVERIFY(received == key + clipboard);
        QVERIFY(!output.tryWrite("shut", 4));

        // The peer goes: the next close says so, once.
        shutdown(pair.fds[1], SHUT_RDWR);
        output.open(pair.fds[0], pair.client);
        QVERIFY(output.tryWrite(clipboard.data(), clipboard.size()));
        QVERIFY(!output.close());
        QVERIFY(output.close());
    }
};

QTEST_GUILESS_MAIN(DirectOutputTest)
#include "directoutput_test.moc"
