// Processes the end-to-end tests run next to vemo: X servers of their own
// (Xvfb, TigerVNC's Xvnc) and X command line tools pointed at one of them.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// An X server started with -displayfd 1: it prints its display number on
// standard output once it accepts clients. Ended (by its PID) on destruction.
class XServer
{
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    bool start(const QString &program, const QStringList &args);

    QProcess process;
    int display = -1;
};

// Writes a VNC password file (vncpasswd -f) holding 'password' to 'path';
// returns the path, or an empty string on failure.
QString writeVncPasswordFile(const QString &path, const QByteArray &password);

// A loopback port that is free right now.
quint16 freePort();

// The caller's environment, aimed at X display ':displayNumber' only.
QProcessEnvironment displayEnvironment(int displayNumber);

// Ends a process this test started, if it still runs: politely, then not.
void stopProcess(QProcess &process);

struct ToolRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs an X tool on display ':displayNumber' to its end, with 'input' on
// its standard input.
ToolRun runTool(int displayNumber, const QString &program, const QStringList &args,
                const QByteArray &input = QByteArray(), int timeoutMs = 10000);
