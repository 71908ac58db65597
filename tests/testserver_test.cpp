// Proves the shared test servers with a plain libvncclient client: what
// the server shows arrives intact, and what the client sends is recorded.
#include "rawserver.h"
#include "testserver.h"

#include <rfb/rfbclient.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

char kClientTag;

// One libvncclient session driven from the test thread.
class Client
{
public:
    explicit Client(const QByteArray &password = {}) : m_password(password)
    {
        m_client = rfbGetClient(8, 3, 4);
        // Ask for the layout of QImage::Format_RGB32 so images compare directly.
        m_client->format.redShift = 16;
        m_client->format.greenShift = 8;
        m_client->format.blueShift = 0;
        m_client->appData.encodingsString = "raw";
        m_client->readTimeout = 10;
        m_client->connectTimeout = 10;
        m_client->GetPassword = &Client::password;
        m_client->GotXCutText = &Client::gotCutText;
        rfbClientSetClientData(m_client, &kClientTag, this);
    }

    ~Client()
    {
        if (!m_client)
            return;
        void *frameBuffer = m_client->frameBuffer;
        rfbClientCleanup(m_client);
        std::free(frameBuffer);
    }

    rfbClient *raw() { return m_client; }

    bool connect(const TestServer &server)
    {
        std::free(m_client->serverHost);
        m_client->serverHost = strdup(server.host().toLatin1().constData());
        m_client->serverPort = server.port();
        if (rfbInitClient(m_client, nullptr, nullptr))
            return true;
        m_client = nullptr; // rfbInitClient freed it
        return false;
    }

    // Handles server messages until done() holds; false on timeout or close.
    bool pumpUntil(const std::function<bool()> &done, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.hasExpired(timeoutMs))
                return false;
            // 0.9.14's WaitForMessage ignores bytes already buffered.
            if (m_client->buffered == 0) {
                const int ready = WaitForMessage(m_client, 20000);
                if (ready < 0)
                    return false;
                if (ready == 0)
                    continue;
            }
            if (!HandleRFBServerMessage(m_client))
                return false;
        }
        return true;
    }

    // True once the server closed the connection within timeoutMs.
    bool seesClose(int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!timer.hasExpired(timeoutMs)) {
            if (m_client->buffered == 0 && WaitForMessage(m_client, 20000) == 0)
                continue;
            if (!HandleRFBServerMessage(m_client))
                return true;
        }
        return false;
    }

    QImage image() const
    {
        QImage view(m_client->frameBuffer, m_client->width, m_client->height,
                    m_client->width * 4, QImage::Format_RGB32);
        QImage copy = view.copy();
        // The pad byte of the client's pixels is undefined.
        for (int y = 0; y < copy.height(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(copy.scanLine(y));
            for (int x = 0; x < copy.width(); ++x)
                line[x] |= 0xff000000u;
        }
        return copy;
    }

    bool matches(const TestServer &server) const { return image() == server.framebuffer(); }

    bool askedForPassword = false;
    QByteArray cutText;

private:
    static Client *self(rfbClient *c) { return static_cast<Client *>(rfbClientGetClientData(c, &kClientTag)); }

    static char *password(rfbClient *c)
    {
        self(c)->askedForPassword = true;
        return strdup(self(c)->m_password.constData());
    }

    static void gotCutText(rfbClient *c, const char *text, int length)
    {
        self(c)->cutText = QByteArray(text, length);
    }

    QByteArray m_password;
    rfbClient *m_client = nullptr;
};

QList<ClientMessage> ofTypes(const QList<ClientMessage> &all, QList<ClientMessage::Type> types)
{
    QList<ClientMessage> out;
    for (const ClientMessage &m : all) {
        if (types.contains(m.type))
            out.append(m);
    }
    return out;
}

bool hasType(const QList<ClientMessage> &all, ClientMessage::Type type)
{
    return !ofTypes(all, {type}).isEmpty();
}

bool showsPattern(const QImage &image, QSize size)
{
    if (image.size() != size || image.format() != QImage::Format_RGB32)
        return false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != (0xff000000u | TestServer::patternPixel(x, y)))
                return false;
        }
    }
    return true;
}

int entriesIn(const char *dir)
{
    return int(QDir(QString::fromLatin1(dir)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

} // namespace

class TestServerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        rfbEnableClientLogging = FALSE;
        // libvncclient writes with write(): a server that has just closed
        // would kill this test with SIGPIPE (the test server does not hide it).
        std::signal(SIGPIPE, SIG_IGN);
    }

    void serverFramebufferHoldsThePattern();
    void framebufferArrivesIntact_data();
    void framebufferArrivesIntact();
    void passwordDecidesAccess_data();
    void passwordDecidesAccess();
    void formatAndEncodingsAreRecordedAsSent_data();
    void formatAndEncodingsAreRecordedAsSent();
    void inputIsRecordedInOrder();
    void serverChangesReachTheClient();
    void dropConnectionsClosesEveryClient_data();
    void dropConnectionsClosesEveryClient();
    void serversReleaseThreadsAndSockets();
};

void TestServerTest::serverFramebufferHoldsThePattern()
{
    TestServer server(203, 157);
    QVERIFY(server.start());
    QVERIFY(showsPattern(server.framebuffer(), QSize(203, 157)));
    // Misplaced pixels must show: neighbours and far-apart pixels differ.
    QVERIFY(TestServer::patternPixel(5, 5) != TestServer::patternPixel(6, 5));
    QVERIFY(TestServer::patternPixel(5, 5) != TestServer::patternPixel(5, 6));
    QVERIFY(TestServer::patternPixel(5, 5) != TestServer::patternPixel(261, 261));
}

void TestServerTest::framebufferArrivesIntact_data()
{
    QTest::addColumn<QByteArray>("encodings");
    QTest::newRow("raw") << QByteArray("raw");
    QTest::newRow("hextile") << QByteArray("hextile raw");
    QTest::newRow("zrle") << QByteArray("zrle raw");
    QTest::newRow("tight, lossless") << QByteArray("tight raw");
}

void TestServerTest::framebufferArrivesIntact()
{
    QFETCH(QByteArray, encodings);
    TestServer server(203, 157);
    QVERIFY(server.start());
    Client client;
    client.raw()->appData.encodingsString = encodings.constData();
    client.raw()->appData.enableJPEG = FALSE;
    QVERIFY(client.connect(server));
    QVERIFY(client.pumpUntil([&] { return client.matches(server); }));
    QCOMPARE(server.connectionCount(), 1);
}

void TestServerTest::passwordDecidesAccess_data()
{
    QTest::addColumn<QByteArray>("serverPassword");
    QTest::addColumn<QByteArray>("clientPassword");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<bool>("asked");
    QTest::newRow("no password set") << QByteArray() << QByteArray("any") << true << false;
    QTest::newRow("right password") << QByteArray("s3cret") << QByteArray("s3cret") << true << true;
    QTest::newRow("wrong password") << QByteArray("s3cret") << QByteArray("guess") << false << true;
}

void TestServerTest::passwordDecidesAccess()
{
    QFETCH(QByteArray, serverPassword);
    QFETCH(QByteArray, clientPassword);
    QFETCH(bool, connects);
    QFETCH(bool, asked);
    TestServer server(64, 48, serverPassword);
    QVERIFY(server.start());
    Client client(clientPassword);
    QCOMPARE(client.connect(server), connects);
    QCOMPARE(client.askedForPassword, asked);
    if (connects) {
        QVERIFY(client.pumpUntil([&] { return client.matches(server); }));
        // The parser got past the handshake: the first message is the format.
        QVERIFY(server.waitForMessages([](const auto &m) { return !m.isEmpty(); }, 5000));
        QCOMPARE(server.messages().first().type, ClientMessage::SetPixelFormat);
    } else {
        QVERIFY(server.waitForClientCount(0, 5000));
        QVERIFY(server.messages().isEmpty());
    }
}

void TestServerTest::formatAndEncodingsAreRecordedAsSent_data()
{
    QTest::addColumn<QByteArray>("names");
    QTest::addColumn<int>("compress");
    QTest::addColumn<int>("quality");
    QTest::addColumn<QList<qint32>>("leading");
    QTest::addColumn<QList<qint32>>("present");
    QTest::addColumn<QList<qint32>>("absent");
    QTest::newRow("tight with levels") << QByteArray("tight zrle hextile raw") << 3 << 7
                                       << QList<qint32> {7, 16, 5, 0} << QList<qint32> {-256 + 3, -32 + 7}
                                       << QList<qint32> {-256 + 9, -32 + 2};
    QTest::newRow("zlib, no quality") << QByteArray("zlib raw") << 9 << 2 << QList<qint32> {6, 0}
                                      << QList<qint32> {-256 + 9} << QList<qint32> {-32 + 2, 7};
}

void TestServerTest::formatAndEncodingsAreRecordedAsSent()
{
    QFETCH(QByteArray, names);
    QFETCH(int, compress);
    QFETCH(int, quality);
    QFETCH(QList<qint32>, leading);
    QFETCH(QList<qint32>, present);
    QFETCH(QList<qint32>, absent);
    TestServer server(64, 48);
    QVERIFY(server.start());
    Client client;
    client.raw()->appData.encodingsString = names.constData();
    client.raw()->appData.compressLevel = compress;
    client.raw()->appData.qualityLevel = quality;
    client.raw()->appData.enableJPEG = TRUE;
    QVERIFY(client.connect(server));
    QVERIFY(server.waitForMessages([](const auto &m) { return hasType(m, ClientMessage::SetEncodings); }, 5000));

    const QList<ClientMessage> format = ofTypes(server.messages(), {ClientMessage::SetPixelFormat});
    QCOMPARE(format.size(), 1);
    const ClientMessage &f = format.first();
    QCOMPARE(f.bitsPerPixel, 32);
    QCOMPARE(f.depth, 24);
    QCOMPARE(f.trueColour, 1);
    QCOMPARE(f.bigEndian, 0);
    QCOMPARE(QList<int>({f.redMax, f.greenMax, f.blueMax}), QList<int>({255, 255, 255}));
    QCOMPARE(QList<int>({f.redShift, f.greenShift, f.blueShift}), QList<int>({16, 8, 0}));

    const QList<qint32> sent = ofTypes(server.messages(), {ClientMessage::SetEncodings}).first().encodings;
    QCOMPARE(sent.mid(0, leading.size()), leading);
    for (qint32 e : present)
        QVERIFY2(sent.contains(e), qPrintable(QString::number(e)));
    for (qint32 e : absent)
        QVERIFY2(!sent.contains(e), qPrintable(QString::number(e)));
}

void TestServerTest::inputIsRecordedInOrder()
{
    TestServer server(64, 48);
    QVERIFY(server.start());
    Client client;
    QVERIFY(client.connect(server));
    const QByteArray text("caf\xe9\n\x01 end", 10);
    QVERIFY(SendKeyEvent(client.raw(), 0x61, TRUE));
    QVERIFY(SendPointerEvent(client.raw(), 17, 23, 1));
    QVERIFY(SendKeyEvent(client.raw(), 0x61, FALSE));
    QVERIFY(SendPointerEvent(client.raw(), 40, 2, 0));
    QVERIFY(SendClientCutText(client.raw(), const_cast<char *>(text.constData()), int(text.size())));
    QVERIFY(server.waitForMessages([](const auto &m) { return hasType(m, ClientMessage::CutText); }, 5000));

    const auto input = ofTypes(server.messages(), {ClientMessage::Key, ClientMessage::Pointer, ClientMessage::CutText});
    QCOMPARE(input.size(), 5);
    QCOMPARE(input[0].type, ClientMessage::Key);
    QCOMPARE(input[0].key, 0x61u);
    QCOMPARE(input[0].down, true);
    QCOMPARE(input[1].type, ClientMessage::Pointer);
    QCOMPARE(QList<int>({input[1].x, input[1].y, input[1].buttonMask}), QList<int>({17, 23, 1}));
    QCOMPARE(input[2].type, ClientMessage::Key);
    QCOMPARE(input[2].down, false);
    QCOMPARE(QList<int>({input[3].x, input[3].y, input[3].buttonMask}), QList<int>({40, 2, 0}));
    QCOMPARE(input[4].type, ClientMessage::CutText);
    QCOMPARE(input[4].text, text);
    for (const ClientMessage &m : server.messages())
        QVERIFY(m.type != ClientMessage::Other && m.connection == 1);

    server.clearMessages();
    QVERIFY(server.messages().isEmpty());
}

void TestServerTest::serverChangesReachTheClient()
{
    TestServer server(120, 90);
    QVERIFY(server.start());
    Client client;
    QVERIFY(client.connect(server));
    QVERIFY(client.pumpUntil([&] { return client.matches(server); }));

    server.fillRect(QRect(10, 20, 30, 15), 0x123456);
    const QImage filled = server.framebuffer();
    QCOMPARE(filled.pixel(10, 20), 0xff123456u);
    QCOMPARE(filled.pixel(39, 34), 0xff123456u);
    QCOMPARE(filled.pixel(40, 34), 0xff000000u | TestServer::patternPixel(40, 34));
    QVERIFY(client.pumpUntil([&] { return client.matches(server); }));

    const QByteArray clip("caf\xe9 \x01\xff", 7);
    server.sendCutText(clip);
    QVERIFY(client.pumpUntil([&] { return client.cutText == clip; }));

    server.resize(64, 48);
    QVERIFY(showsPattern(server.framebuffer(), QSize(64, 48)));
    QVERIFY(client.pumpUntil([&] {
        return client.raw()->width == 64 && client.raw()->height == 48 && client.matches(server);
    }));
    server.fillRect(QRect(60, 40, 100, 100), 0xabcdef);
    QVERIFY(client.pumpUntil([&] { return client.matches(server); }));
    QCOMPARE(client.image().pixel(63, 47), 0xffabcdefu);
}

void TestServerTest::dropConnectionsClosesEveryClient_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("orderly close") << false;
    QTest::newRow("reset") << true;
}

void TestServerTest::dropConnectionsClosesEveryClient()
{
    QFETCH(bool, reset);
    TestServer server(64, 48);
    QVERIFY(server.start());
    Client first, second;
    QVERIFY(first.connect(server));
    QVERIFY(second.connect(server));
    QVERIFY(server.waitForClientCount(2, 5000));

    server.dropConnections(reset);
    QCOMPARE(server.clientCount(), 0);
    QVERIFY(first.seesClose());
    QVERIFY(second.seesClose());

    // The server still serves new clients.
    Client third;
    QVERIFY(third.connect(server));
    QVERIFY(third.pumpUntil([&] { return third.matches(server); }));
    QCOMPARE(server.connectionCount(), 3);
}

void TestServerTest::serversReleaseThreadsAndSockets()
{
    const int fds = entriesIn("/proc/self/fd");
    const int threads = entriesIn("/proc/self/task");
    {
        TestServer server(64, 48, "pw");
        QVERIFY(server.start());
        RawServer raw(RawServer::StallAfterVersion);
        QVERIFY(raw.start());
        Client client("pw");
        QVERIFY(client.connect(server));
        QVERIFY(client.pumpUntil([&] { return client.matches(server); }));
        QVERIFY(entriesIn("/proc/self/task") > threads);
    }
    QCOMPARE(entriesIn("/proc/self/fd"), fds);
    QCOMPARE(entriesIn("/proc/self/task"), threads);
}

QTEST_GUILESS_MAIN(TestServerTest)
#include "testserver_test.moc"
