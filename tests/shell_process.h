// Running the program (or a probe build of its main) as a real process,
// with argv[0] chosen by the test; and the other programs the shell tests
// run.
#pragma once

#include <QProcess>
#include <QStandardPaths>
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

// Writes to 'path' the password file TigerVNC's "vncpasswd -f" makes of
// 'typed' (one password a line). False when vncpasswd is missing or fails.
inline bool makeVncPasswordFile(const QString &path, const QByteArray &typed)
{
    const QString vncpasswd = QStandardPaths::findExecutable(QStringLiteral("vncpasswd"));
    if (vncpasswd.isEmpty())
        return false;
    QProcess make;
    make.setStandardOutputFile(path);
    make.start(vncpasswd, {QStringLiteral("-f")});
    make.write(typed);
    make.closeWriteChannel();
    return make.waitForFinished() && make.exitStatus() == QProcess::NormalExit && make.exitCode() == 0;
}

} // namespace shelltest
