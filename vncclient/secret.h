#ifndef SECRET_H
#define SECRET_H

#include <QByteArray>
#include <QString>

#include <string.h> // explicit_bzero

// Passwords are wiped where they lie before their memory is let go. Copies
// of a QString or QByteArray share one buffer, and fill() on a shared one
// wipes a fresh copy of its own: only the last holder can wipe the buffer,
// so every holder lets go of a secret through wipe().
namespace Secret
{
inline void wipe(QString &text)
{
    if (text.isDetached())
        explicit_bzero(text.data(), size_t(text.capacity()) * sizeof(QChar));
    text = QString();
}

inline void wipe(QByteArray &bytes)
{
    if (bytes.isDetached())
        explicit_bzero(bytes.data(), size_t(bytes.capacity()));
    bytes = QByteArray();
}
} // namespace Secret

#endif
