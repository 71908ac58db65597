#ifndef SECURITYTYPES_H
#define SECURITYTYPES_H

#include <QList>
#include <QString>
#include <QStringList>

// RFB security types and VeNCrypt sub-types, and the choice among those a
// server offers.
namespace SecurityTypes
{
enum Type : quint32 {
    Invalid = 0,
    None = 1,
    VncAuth = 2,
    Tight = 16,
    AnonymousTls = 18, // anonymous TLS, then a second list (older GNOME servers)
    VeNCrypt = 19,
    Plain = 256,
    TLSNone = 257,
    TLSVnc = 258,
    TLSPlain = 259,
    X509None = 260,
    X509Vnc = 261,
    X509Plain = 262,
};

// TigerVNC's name of a type ("TLSVnc"), or its number for one vemo has no
// name for.
QString name(quint32 type);
QString names(const QList<quint32> &types);

// Reads a comma-separated list of TigerVNC's names, in any letter case.
// On an unknown name returns false and says which in 'error'.
bool parseList(const QString &text, QList<quint32> *types, QString *error);

bool usesTls(quint32 type);
bool verifiesServer(quint32 type);   // X509 types
bool needsUserName(quint32 type);    // the Plain family
bool needsPassword(quint32 type);    // VncAuth and the Plain family

// What vemo offers, most secure first: 'allowed' (every type vemo knows
// when empty) less Plain without TLS unless 'allowed' names it. The X509
// types lead only when a certificate can be verified (a CA file, or one
// the user trusted for this server); otherwise they follow the anonymous
// TLS types, which complete without a question to the user. Without a
// user name the Plain family comes last: the user is then asked for one.
QList<quint32> preferred(const QList<quint32> &allowed, bool haveUserName, bool canVerifyCertificate);

// The first of 'preferred' that 'offered' holds; Invalid when none.
quint32 choose(const QList<quint32> &preferred, const QList<quint32> &offered);

// The top-level type to answer a server's list with: VeNCrypt when it is
// offered and any VeNCrypt sub-type is preferred, else as choose().
quint32 chooseTopLevel(const QList<quint32> &preferred, const QList<quint32> &offered);
} // namespace SecurityTypes

#endif
