#ifndef PASSWORDFILE_H
#define PASSWORDFILE_H

#include <QString>

// Reads a VNC password file, as TigerVNC's "vncpasswd -f" writes it: its
// first 8 bytes are the password (at most 8 bytes, NUL-padded), DES-encrypted
// with the fixed key every VNC program knows. Any further bytes (a view-only
// password) are ignored. On success sets 'password' to the password, decoded
// as UTF-8 (the encoding the connection sends it in). On failure says in
// 'error' what is wrong with the file, naming it but never its content.
// Buffers that held the secret are wiped before returning.
bool readVncPasswordFile(const QString &path, QString *password, QString *error);

// Why 'path' cannot be read as a file ("no such file", ...), in the user's
// language; a null string when it can.
QString fileReadProblem(const QString &path);

#endif
