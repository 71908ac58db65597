#ifndef LIBRARYTEXT_H
#define LIBRARYTEXT_H

#include <QByteArray>
#include <QString>

// Texts exchanged with libvncclient: its free-text failure reports, and
// clipboard bytes on the wire.
namespace LibraryText
{
// The fixed notice for a server announcing protocol version 3.889; it is
// carried on the error path but is not an error.
extern const char compatibilityMarker[];

// Applies the recognition rules to one trimmed library line. Returns the
// message the line stands for (the last matching rule wins), or a null
// string when it matches none.
QString recognise(const QString &line);

QString serverNotFound();
QString authenticationFailed();
QString connectionFailed();
// A signed-in session that ended without the server closing it.
QString connectionLost();
QString signInCancelled();
// The SSH tunnel under a session broke.
QString tunnelLost();
// Whether a message tells of a connection that broke or could not be made
// (worth trying again), rather than a refusal (a password, a certificate).
bool isConnectionLoss(const QString &message);

// Clipboard text from the server: UTF-8 when the bytes are valid UTF-8,
// else ISO 8859-1, the protocol's own encoding.
QString decodeCutText(const char *bytes, int length);
// Clipboard text to the server, always ISO 8859-1 as the protocol says:
// each character (code point; a surrogate pair is one) that ISO 8859-1
// cannot hold becomes one "?", since servers show UTF-8 bytes as mojibake.
// Stops at the first U+0000, as the wire copy does.
QByteArray encodeCutText(const QString &text);
}

#endif
