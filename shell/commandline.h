#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "connectionoptions.h"

#include <QString>
#include <QStringList>
#include <QUrl>

// How the window behaves, as the user gave it on the command line.
struct WindowOptions {
    static constexpr int defaultListenPort = 5500;

    bool viewOnly = false;     // --view-only: nothing goes to the server
    bool fullscreen = false;   // --fullscreen
    bool remoteResize = false; // --remote-resize: the server's desktop follows the window
    bool reconnect = false;    // --reconnect: retries by itself after a lost connection
    bool keysymsOnly = false;  // --keysyms-only: keys never go with their physical position
    bool bellFlash = true;     // --no-bell-flash: the server's bell only beeps
    int listenPort = 0;        // --listen [PORT]: waits for a server there; 0 connects to the URL
    bool touchpad = false;     // --touchpad: a finger moves a pointer, taps click there
    bool classicTaps = false; // --classic-taps: two fingers middle-click, three open the menu
    bool logicalPixels = false; // --logical-pixels: Actual size is a remote pixel per logical pixel
};

// The command line: vemo [OPTIONS] [ADDRESS [QUALITY]] or
// vemo [OPTIONS] --listen [PORT [QUALITY]], the options before or
// after the address, and Qt's own options (-platform NAME and the like) anywhere
// among them; Qt reads those later from the same arguments. Read before any
// application object exists, so that --help works without a display.
struct CommandLine {
    enum Outcome { Run, Help, Version, Error };

    Outcome outcome = Run;
    bool verbose = false;      // --verbose: vemo's debug lines on standard error
    QUrl url;                  // empty when no URL was given
    QString serverName;        // a saved server named instead of a URL
    bool qualityGiven = false; // whether --quality or QUALITY was given, not defaulted
    ConnectionOptions options; // quality Auto unless given; the files named are read
    WindowOptions window;
    QString error;             // for Error: what is wrong, for the user
};

// Whether a saved server has this name; asked before the argument is read
// as a URL. None by default.
void setSavedServerLookup(bool (*isSavedName)(const QString &name));
// 'arguments' starts with the program name, as argv does.
CommandLine readCommandLine(const QStringList &arguments);
// Every option with a line on what it does, in the user's language.
QString usageText(const QString &program);
// "vemo 0.1.0", for --version.
QString versionText();
// The hint printed after a refused command line.
QString tryHelpText(const QString &program);

#endif
