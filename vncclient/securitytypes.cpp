#include "securitytypes.h"

#include <QCoreApplication>

namespace SecurityTypes
{
namespace
{
struct TypeInfo
{
    quint32 type;
    const char *name;
    bool tls;
    bool x509;
    bool plain;
};

// Most secure first: this order is the order of preference.
const TypeInfo table[] = {
    {X509Plain, "X509Plain", true, true, true},
    {X509Vnc, "X509Vnc", true, true, false},
    {X509None, "X509None", true, true, false},
    {TLSPlain, "TLSPlain", true, false, true},
    {TLSVnc, "TLSVnc", true, false, false},
    {TLSNone, "TLSNone", true, false, false},
    {AnonymousTls, "TLS", true, false, false},
    {VncAuth, "VncAuth", false, false, false},
    {Plain, "Plain", false, false, true},
    {None, "None", false, false, false},
};

const TypeInfo *find(quint32 type)
{
    for (const TypeInfo &info : table) {
        if (info.type == type)
            return &info;
    }
    return nullptr;
}

struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(SecurityTypes)
};
} // namespace

QString name(quint32 type)
{
    const TypeInfo *info = find(type);
    if (info)
        return QString::fromLatin1(info->name);
    if (type == VeNCrypt)
        return QStringLiteral("VeNCrypt");
    if (type == Tight)
        return QStringLiteral("Tight");
    return QString::number(type);
}

QString names(const QList<quint32> &types)
{
    QStringList list;
    for (quint32 type : types)
        list << name(type);
    return list.join(QLatin1String(", "));
}

bool parseList(const QString &text, QList<quint32> *types, QString *error)
{
    types->clear();
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString wanted = part.trimmed();
        const TypeInfo *match = nullptr;
        for (const TypeInfo &info : table) {
            // The old anonymous TLS type follows TLSNone and TLSVnc; it has no name of its own here.
            if (info.type != AnonymousTls && wanted.compare(QLatin1String(info.name), Qt::CaseInsensitive) == 0)
                match = &info;
        }
        if (!match) {
            QStringList known;
            for (const TypeInfo &info : table) {
                if (info.type != AnonymousTls)
                    known << QString::fromLatin1(info.name);
            }
            *error = Messages::tr("unknown security type \"%1\"; known types: %2")
                         .arg(wanted, known.join(QLatin1String(", ")));
            types->clear();
            return false;
        }
        if (!types->contains(match->type))
            types->append(match->type);
    }
    if (types->isEmpty()) {
        *error = Messages::tr("no security type given");
        return false;
    }
    return true;
}

bool usesTls(quint32 type)
{
    const TypeInfo *info = find(type);
    return info && info->tls;
}

bool verifiesServer(quint32 type)
{
    const TypeInfo *info = find(type);
    return info && info->x509;
}

bool needsUserName(quint32 type)
{
    const TypeInfo *info = find(type);
    return info && info->plain;
}

bool needsPassword(quint32 type)
{
    return needsUserName(type) || type == VncAuth || type == TLSVnc || type == X509Vnc;
}

QList<quint32> preferred(const QList<quint32> &allowed, bool haveUserName, bool canVerifyCertificate)
{
    const bool anonymousTlsAllowed = allowed.contains(TLSNone) || allowed.contains(TLSVnc);
    QList<quint32> result;
    QList<quint32> unverifiable;
    QList<quint32> askingUserName;
    for (const TypeInfo &info : table) {
        bool offered;
        if (allowed.isEmpty())
            offered = info.type != Plain; // passwords in the clear only when asked for
        else
            offered = allowed.contains(info.type) || (info.type == AnonymousTls && anonymousTlsAllowed);
        if (!offered)
            continue;
        if (info.plain && !haveUserName)
            askingUserName << info.type;
        else if (info.x509 && !canVerifyCertificate)
            unverifiable << info.type;
        else if (!info.tls && !unverifiable.isEmpty()) {
            result += unverifiable;
            unverifiable.clear();
            result << info.type;
        } else
            result << info.type;
    }
    return result + unverifiable + askingUserName;
}

quint32 choose(const QList<quint32> &preferred, const QList<quint32> &offered)
{
    for (quint32 type : preferred) {
        if (offered.contains(type))
            return type;
    }
    return Invalid;
}

quint32 chooseTopLevel(const QList<quint32> &preferred, const QList<quint32> &offered)
{
    if (offered.contains(VeNCrypt)) {
        for (quint32 type : preferred) {
            if (type >= Plain)
                return VeNCrypt;
        }
    }
    const quint32 direct = choose(preferred, offered);
    // VeNCrypt servers list None and VncAuth among their sub-types too.
    if (direct == Invalid && offered.contains(VeNCrypt) && !preferred.isEmpty())
        return VeNCrypt;
    return direct;
}
} // namespace SecurityTypes
