// Collects the process's debug lines for tests that check a trace. The
// connection thread traces too, so the record is locked.
#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

namespace DebugCapture
{
inline QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}

inline QStringList &record()
{
    static QStringList lines;
    return lines;
}

inline QtMessageHandler &previous()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

inline void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        QMutexLocker locker(&lock());
        record() << message;
    } else if (previous()) {
        previous()(type, context, message);
    }
}

inline void install() { previous() = qInstallMessageHandler(handler); }

inline void clear()
{
    QMutexLocker locker(&lock());
    record().clear();
}

inline QStringList lines()
{
    QMutexLocker locker(&lock());
    return record();
}

inline bool contains(const QString &line) { return lines().contains(line); }
} // namespace DebugCapture
