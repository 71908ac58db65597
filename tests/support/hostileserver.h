// RFB byte builders for scripting a RawServer that behaves as a server the
// viewer does not control: a well-formed RFB 3.8 handshake without
// authentication, then whatever messages a test chooses, well-formed or not.
//
// Pixels go out in the format the viewer asks for (32 bits, red at bit 16,
// little-endian), so a test can check what reaches the screen.
#pragma once

#include "rawserver.h"

#include <QByteArray>
#include <QList>
#include <QRect>

namespace HostileRfb
{
// Encodings of the rectangles built below; DesktopSize is the pseudo-encoding
// that announces a new desktop size.
constexpr qint32 desktopSizeEncoding = -223;
constexpr qint32 rawEncoding = 0;
constexpr qint32 copyRectEncoding = 1;
constexpr qint32 supportedMessagesEncoding = qint32(0xfffe0001);

QByteArray serverInit(quint16 width, quint16 height, const QByteArray &name = "hostile");

// Version, security types [None], the client's choice, SecurityResult OK,
// ClientInit, ServerInit: one step each, so a test can cut the handshake
// short after any of them. With tls, the types are [anonymous TLS], and
// [None] follows inside it.
QList<RawServer::Step> handshake(quint16 width, quint16 height, const QByteArray &name = "hostile",
                                 bool tls = false);

// The header of one rectangle, for encodings whose payload a test builds.
QByteArray rectHeader(int x, int y, int width, int height, qint32 encoding);
// A FramebufferUpdate of the given rectangles (header plus payload each).
QByteArray framebufferUpdate(const QList<QByteArray> &rects);
// A raw rectangle of one colour, 0x00RRGGBB.
QByteArray rawRect(const QRect &r, quint32 rgb);
QByteArray copyRect(const QRect &target, int sourceX, int sourceY);
QByteArray desktopSizeRect(int width, int height);
// ExtendedDesktopSize with one screen covering it.
QByteArray extendedDesktopSizeRect(int width, int height);
// Every message supported both ways.
QByteArray supportedMessagesRect();

QByteArray cutText(const QByteArray &bytes);
// A cut text header that announces `length` bytes; none follow.
QByteArray cutTextHeader(quint32 length);

// The extended clipboard's form: flags, then the payload as it is.
QByteArray extendedCutText(quint32 flags, const QByteArray &payload);
constexpr quint32 clipboardCapsFlag = 1u << 24, clipboardProvideFlag = 1u << 28;
// A provide of text 'data' (NUL and all, as given), in a zlib stream
// flushed or finished; 'declared' replaces its size field unless negative.
QByteArray clipboardProvide(const QByteArray &data, bool finished = false, qint64 declared = -1);

// A handshake, then the messages one after another.
QList<RawServer::Step> session(quint16 width, quint16 height, const QList<QByteArray> &messages, bool tls = false);
} // namespace HostileRfb
