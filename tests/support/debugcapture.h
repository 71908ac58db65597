// Collects the process's debug lines for tests that check a trace. The
// connection thread traces too, so the record is locked.
#pragma once

#include <QLoggingCategory>
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

// vemo's debug lines are off by default; the tests read them.
inline void install()
{
    QLoggingCategory::setFilterRules(QStringLiteral("vemo.*.debug=true"));
    previous() = qInstallMessageHandler(handler);
}

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
