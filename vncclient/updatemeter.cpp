#include "updatemeter.h"

#include "libraryinternals.h"

#include <cstddef>
#include <iterator>
#include <utility>

#include <rfb/rfbproto.h>

#include <netinet/in.h>
#include <linux/tcp.h>
#include <sys/socket.h>

namespace
{
struct EncodingName
{
    int32_t encoding;
    const char *name;
};

// The rectangle encodings a server may use; JPEG is tight's, told apart.
constexpr int32_t jpegRow = 0x7fffffff;
const EncodingName encodingNames[] = {
    {rfbEncodingRaw, "raw"},         {rfbEncodingCopyRect, "copyrect"}, {rfbEncodingRRE, "rre"},
    {rfbEncodingCoRRE, "corre"},     {rfbEncodingHextile, "hextile"},   {rfbEncodingZlib, "zlib"},
    {rfbEncodingTight, "tight"},     {jpegRow, "JPEG"},                 {rfbEncodingZlibHex, "zlibhex"},
    {rfbEncodingUltra, "ultra"},     {rfbEncodingTRLE, "trle"},         {rfbEncodingZRLE, "zrle"},
    {rfbEncodingZYWRLE, "zywrle"},   {int32_t(rfbEncodingUltraZip), "ultrazip"},
};
} // namespace

UpdateMeter::UpdateMeter()
{
    started.start();
}

void UpdateMeter::connected(int socket)
{
    lastReceived = received(socket);
}

// One system call. A socket pair (a tunnel) counts nothing: then what the
// library read, which is all it carries (TLS through a tunnel aside).
qint64 UpdateMeter::received(int socket)
{
    tcp_info info = {};
    socklen_t size = sizeof info;
    tcp = tcp && getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) == 0
        && size >= offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received;
    if (!tcp)
        return qint64(LibraryInternals::bytesRead());
    roundTrip = int((info.tcpi_rtt + 500) / 1000);
    return qint64(info.tcpi_bytes_received);
}

void UpdateMeter::begin()
{
    startUs = started.nsecsElapsed() / 1000;
    pixels = 0;
    jpegPixels = 0;
}

void UpdateMeter::rectangle(int32_t encoding, qint64 area, bool jpeg)
{
    if (encoding != rfbEncodingCopyRect)
        pixels += area;
    if (jpeg)
        jpegPixels += area;
    const int32_t row = jpeg ? jpegRow : encoding;
    for (size_t i = 0; i < std::size(encodingNames); ++i) {
        if (encodingNames[i].encoding == row && !(used & (1u << i))) {
            used |= 1u << i;
            newEncoding = true;
        }
    }
}

UpdateSample UpdateMeter::finish(int socket)
{
    UpdateSample sample;
    const qint64 nowUs = started.nsecsElapsed() / 1000;
    sample.endMs = nowUs / 1000;
    sample.receiveUs = startUs >= 0 ? nowUs - startUs : 0;
    sample.pixels = pixels;
    sample.jpegPixels = jpegPixels;
    startUs = -1;
    const qint64 now = received(socket);
    sample.bytes = lastReceived >= 0 ? now - lastReceived : 0;
    lastReceived = now;
    recentUpdates.add(sample.endMs, sample.bytes);
    return sample;
}

QStringList UpdateMeter::encodingsUsed() const
{
    QStringList names;
    for (size_t i = 0; i < std::size(encodingNames); ++i) {
        if (used & (1u << i))
            names << QString::fromLatin1(encodingNames[i].name);
    }
    return names;
}

bool UpdateMeter::takeNewEncoding()
{
    return std::exchange(newEncoding, false);
}

void RecentUpdates::add(qint64 endMs, qint64 bytes)
{
    updates.emplace_back(endMs, bytes);
    while (updates.front().first <= endMs - windowMs)
        updates.pop_front();
}

double RecentUpdates::updatesPerSecond(qint64 nowMs) const
{
    int count = 0;
    for (const auto &[endMs, bytes] : updates)
        count += endMs > nowMs - windowMs;
    return count * 1000.0 / windowMs;
}

double RecentUpdates::bytesPerSecond(qint64 nowMs) const
{
    qint64 sum = 0;
    for (const auto &[endMs, bytes] : updates)
        sum += endMs > nowMs - windowMs ? bytes : 0;
    return sum * 1000.0 / windowMs;
}
