// Running the program (or a probe build of its main) as a real process,
// with argv[0] chosen by the test.
#pragma once

#include <QProcess>
#include <QStringList>

namespace shelltest {

struct ProcessRun {
    int exitCode = -999; // -998: crashed; -999: did not finish
    QStringList out;
    QStringList err;
};

inline QStringList splitLines(const QByteArray &bytes)
{
    QStringList result = QString::fromLocal8Bit(bytes).split(QLatin1Char('\n'));
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

// The arguments for bash that start 'program' with argv[0] set to 'argv0'.
inline QStringList execAs(const QString &argv0, const QString &program, const QStringList &args)
{
    return QStringList{QStringLiteral("-c"), QStringLiteral("exec -a \"$0\" \"$@\""), argv0, program} + args;
}

inline ProcessRun runAs(const QString &program, const QString &argv0, const QStringList &args,
                        const QProcessEnvironment &env, const QString &workingDirectory = QString())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workingDirectory);
    p.start(QStringLiteral("bash"), execAs(argv0, program, args));
    ProcessRun run;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -998;
    run.out = splitLines(p.readAllStandardOutput());
    run.err = splitLines(p.readAllStandardError());
    return run;
}

// Ends a process that a failed check left running.
struct EndProcess {
    QProcess &process;
    ~EndProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
};

} // namespace shelltest
