#include "e2e_servers.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

bool XServer::start(const QString &program, const QStringList &args)
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, QStringList{QStringLiteral("-displayfd"), QStringLiteral("1")} + args);
    if (!process.waitForStarted(10000))
        return false;
    QByteArray out;
    QElapsedTimer waited;
    waited.start();
    while (!out.contains('\n') && waited.elapsed() < 30000 && process.state() == QProcess::Running) {
        process.waitForReadyRead(500);
        out += process.readAllStandardOutput();
    }
    bool ok = false;
    display = out.trimmed().toInt(&ok);
    if (!ok)
        qWarning() << program << "did not start:" << process.readAllStandardError();
    return ok;
}

XServer::~XServer()
{
    stopProcess(process);
}

QString writeVncPasswordFile(const QString &path, const QByteArray &password)
{
    QProcess vncpasswd;
    vncpasswd.start(QStringLiteral("vncpasswd"), {QStringLiteral("-f")});
    vncpasswd.write(password + '\n');
    vncpasswd.closeWriteChannel();
    QFile file(path);
    if (!vncpasswd.waitForFinished(10000) || !file.open(QIODevice::WriteOnly)
        || file.write(vncpasswd.readAllStandardOutput()) <= 0)
        return QString();
    return path;
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

QProcessEnvironment displayEnvironment(int displayNumber)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(displayNumber));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
}

ToolRun runTool(int displayNumber, const QString &program, const QStringList &args,
                const QByteArray &input, int timeoutMs)
{
    ToolRun run;
    QProcess tool;
    tool.setProcessEnvironment(displayEnvironment(displayNumber));
    tool.start(program, args);
    if (!tool.waitForStarted(5000))
        return run;
    if (!input.isEmpty())
        tool.write(input);
    tool.closeWriteChannel();
    run.finished = tool.waitForFinished(timeoutMs) && tool.exitStatus() == QProcess::NormalExit;
    if (!run.finished)
        stopProcess(tool);
    run.exitCode = tool.exitCode();
    run.out = tool.readAllStandardOutput();
    run.err = tool.readAllStandardError();
    return run;
}
