#ifndef CONNECTIONFILE_H
#define CONNECTIONFILE_H

#include "serverentry.h"

#include <QString>

// Connection files in TigerVNC's format (.tigervnc): a first line naming
// the format, then Name=Value lines. The options vemo has are read and
// written; others are passed over.
namespace ConnectionFile {

// The entry the file describes, named after the file; on failure says why.
bool read(const QString &path, ServerEntry *entry, QString *error);
// Writes the entry's server and options (never a password).
bool write(const QString &path, const ServerEntry &entry, QString *error);

} // namespace ConnectionFile

#endif
