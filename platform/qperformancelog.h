#ifndef QPERFORMANCELOG_H
#define QPERFORMANCELOG_H

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcPerformance)

// Start-up milestones. Each object writes one line, when it is destroyed,
// at info level in the category "vemo.performance" (off by default; enable
// with QT_LOGGING_RULES="vemo.performance.info=true"):
//   <application>: <milliseconds since process start> ms: <messages>
class QPerformanceLog
{
public:
    explicit QPerformanceLog(const QString &applicationName = QString());
    ~QPerformanceLog();

    QPerformanceLog &operator<<(const QString &message);

    // Milliseconds since the process started.
    static qint64 elapsedSinceStart();

private:
    Q_DISABLE_COPY(QPerformanceLog)

    QString applicationName;
    QString text;
};

#endif
