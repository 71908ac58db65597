#include "qperformancelog.h"

#include <ctime>
#include <unistd.h>

#include <QFile>

Q_LOGGING_CATEGORY(lcPerformance, "vemo.performance", QtWarningMsg)

namespace {

qint64 bootClockMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The kernel records the start time in clock ticks since boot (field 22 of
// /proc/self/stat); the command name before it may contain spaces, so count
// from the closing parenthesis.
qint64 processStartMilliseconds()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // fields[0] is field 3 (state), so field 22 is fields[19].
    if (fields.size() < 20)
        return -1;
    bool ok = false;
    const qint64 ticks = fields.at(19).toLongLong(&ok);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (!ok || ticksPerSecond <= 0)
        return -1;
    return ticks * 1000 / ticksPerSecond;
}

qint64 startMilliseconds()
{
    static const qint64 start = [] {
        const qint64 fromKernel = processStartMilliseconds();
        return fromKernel >= 0 ? fromKernel : bootClockMilliseconds();
    }();
    return start;
}

// Taken during static initialisation, so a missing /proc still measures
// from (nearly) the start of the process.
const qint64 startAtLoad = startMilliseconds();

} // namespace

QPerformanceLog::QPerformanceLog(const QString &applicationName)
    : applicationName(applicationName)
{
}

QPerformanceLog::~QPerformanceLog()
{
    qCInfo(lcPerformance).noquote().nospace()
        << applicationName << ": " << elapsedSinceStart() << " ms: " << text;
}

QPerformanceLog &QPerformanceLog::operator<<(const QString &message)
{
    text += message;
    return *this;
}

qint64 QPerformanceLog::elapsedSinceStart()
{
    (void)startAtLoad;
    return qMax<qint64>(0, bootClockMilliseconds() - startMilliseconds());
}
