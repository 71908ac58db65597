#ifndef VEMO_H
#define VEMO_H

#include "commandline.h"
#include "connectionoptions.h"
#include "remoteview.h"

#include <QHash>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>

class QAction;
class QLabel;
class QPushButton;
class QScrollArea;
class KeyBar;
class Listener;
class QMenu;
class VncView;

// The main window: one VncView on the server named at start-up (or on the
// server that connects to it in listen mode), sized so that the whole
// remote screen is visible (scaled down when it does not fit), or zoomed
// with scroll bars; a status line while there is nothing to show, and the
// soft-key menu.
class Vemo : public QWidget
{
    Q_OBJECT

public:
    Vemo(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~Vemo() override;

    // The server the next window connects to; vnc://localhost:0 unless set.
    static void setServerUrl(const QUrl &url);
    static QUrl serverUrl();
    // How the next window signs in and which quality it asks for; the
    // defaults unless set.
    static void setConnectionOptions(const ConnectionOptions &options);
    static ConnectionOptions connectionOptions();
    static void setWindowOptions(const WindowOptions &options);
    static WindowOptions windowOptions();

    // The port a listening window waits on; 0 when it does not listen.
    quint16 listeningPort() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // vemomenu.cpp
    void buildMenu();
    void updateMenu();
    QAction *addAction(QMenu *menu, const QString &text, bool checkable = false);
    void setFullscreen(bool on);
    void coverScreen();
    void setRemoteResize(bool on);
    void askForRemoteSize();
    void askForText();
    void showConnectionInfo();
    // vemohandheld.cpp
    void buildHandheldMenu(QMenu *menu);
    void createKeyBar();
    void setKeyBarShown(bool on);
    int keyBarHeight() const;
    void layOut();

    // Reconnecting and listening.
    void offerReconnect();
    void retryNow();
    void showRetryCountdown();
    void acceptServer(int socket, const QString &peer);
    void showWaiting();

    void remoteSizeChanged(int w, int h);
    void showStatus(RemoteView::RemoteStatus status);
    void showError(const QString &title, const QString &message);
    void showNotice(const QString &text, const QString &titleState);
    void setTitle(const QString &state);
    void fitView();
    QSize windowSizeFor(const QSize &remote) const;
    void placeNotice();

    QScrollArea *area;
    VncView *view;
    KeyBar *keyBar = nullptr;
    QLabel *notice;
    QPushButton *reconnectButton;
    WindowOptions windowSettings;
    Listener *listener = nullptr;
    QString failure;        // the last failure shown, while it stands
    QTimer retryTimer;      // --reconnect: the countdown to the next try
    int retryDelay = 0;     // seconds the current wait began with
    int retryLeft = 0;      // seconds left of it
    bool remoteResizeBeforeFullscreen = false;
    QHash<QString, QAction *> actions; // the menu's, by object name
    QString address;
    QString titleState;     // the part of the title in parentheses
    static constexpr int maximumNameShown = 100; // of the desktop's name, in the title
    QSize remoteSize;
    bool sizedToRemote = false;
    bool failed = false;
};

#endif
