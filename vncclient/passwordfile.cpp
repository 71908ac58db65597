#include "passwordfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <nettle/des.h>

#include <cstring>
#include <string.h> // explicit_bzero

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(PasswordFile)
};

// The key VNC programs encrypt stored passwords with.
const quint8 vncKey[DES_KEY_SIZE] = {23, 82, 107, 6, 35, 78, 88, 7};

// VNC's DES takes each key byte with its bits in reverse order.
quint8 reversedBits(quint8 byte)
{
    quint8 result = 0;
    for (int bit = 0; bit < 8; ++bit) {
        result = quint8((result << 1) | (byte & 1));
        byte >>= 1;
    }
    return result;
}
} // namespace

QString fileReadProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Messages::tr("no such file");
    if (info.isDir())
        return Messages::tr("it is a directory");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Messages::tr("it cannot be read");
    return QString();
}

bool readVncPasswordFile(const QString &path, QString *password, QString *error)
{
    const auto fail = [&](const QString &why) {
        *error = Messages::tr("cannot use the password file \"%1\": %2").arg(path, why);
        return false;
    };
    const QString problem = fileReadProblem(path);
    if (!problem.isNull())
        return fail(problem);
    QFile file(path);
    // Unbuffered: no copy of the secret stays in QFile's buffer.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(Messages::tr("it cannot be read"));

    quint8 encrypted[DES_BLOCK_SIZE];
    qint64 got = 0;
    while (got < qint64(sizeof encrypted)) {
        const qint64 n = file.read(reinterpret_cast<char *>(encrypted) + got, qint64(sizeof encrypted) - got);
        if (n <= 0)
            break;
        got += n;
    }
    file.close();
    if (got < qint64(sizeof encrypted)) {
        explicit_bzero(encrypted, sizeof encrypted);
        return fail(Messages::tr("it is shorter than 8 bytes, so it was not made by vncpasswd"));
    }

    quint8 key[DES_KEY_SIZE];
    for (int i = 0; i < DES_KEY_SIZE; ++i)
        key[i] = reversedBits(vncKey[i]);
    des_ctx context;
    // Its result says whether the key is weak, which this one is not.
    des_set_key(&context, key);

    // One byte more than the password can hold, so that it always ends.
    char plain[DES_BLOCK_SIZE + 1] = {};
    des_decrypt(&context, DES_BLOCK_SIZE, reinterpret_cast<quint8 *>(plain), encrypted);
    *password = QString::fromUtf8(plain, qsizetype(std::strlen(plain)));

    explicit_bzero(plain, sizeof plain);
    explicit_bzero(encrypted, sizeof encrypted);
    explicit_bzero(&context, sizeof context);
    explicit_bzero(key, sizeof key);
    return true;
}
