#ifndef REMOTEVIEW_H
#define REMOTEVIEW_H

#include <QSize>
#include <QString>
#include <QUrl>
#include <QWidget>

class QFocusEvent;
class QKeyEvent;

// A live view of a remote desktop, independent of the protocol behind it.
// The status moves only through changeStatus(), which announces every step.
class RemoteView : public QWidget
{
    Q_OBJECT

public:
    enum DotCursorState { CursorOn, CursorOff, CursorAuto };
    Q_ENUM(DotCursorState)

    enum RemoteStatus {
        Connecting = 0,
        Authenticating = 1,
        Preparing = 2,
        Connected = 3,
        Disconnecting = -1,
        Disconnected = -2
    };
    Q_ENUM(RemoteStatus)

    enum ErrorCode {
        None = 0,
        Internal,
        Connection,
        Protocol,
        IO,
        Name,
        NoServer,
        ServerBlocked,
        Authentication
    };
    Q_ENUM(ErrorCode)

    explicit RemoteView(QWidget *parent = nullptr);
    ~RemoteView() override;

    virtual bool canScale() const;
    virtual bool isScaling() const;
    virtual bool canShowDotCursor() const;
    virtual void setDotCursorMode(RemoteView::DotCursorState cursorState);
    virtual RemoteView::DotCursorState dotCursorMode() const;
    virtual bool isViewOnly() const;
    virtual bool isGrabbingAllKeys() const;
    virtual QSize remoteScreenSize() const;
    virtual void beginShutdown();
    virtual bool isShuttingDown() const;
    virtual QString hostName() const;
    virtual int portNumber() const;
    virtual bool startConnecting() = 0;
    virtual void refitToParent();

    RemoteView::RemoteStatus currentStatus() const;
    QUrl serverUrl() const;

signals:
    void changeSize(int w, int h);
    void connected();
    void disconnected();
    void disconnectedError();
    void errorMessage(const QString &title, const QString &message);
    void statusChanged(RemoteView::RemoteStatus s);
    void showingPasswordDialog(bool b);
    void mouseStateChanged(int x, int y, int buttonMask);

public slots:
    virtual void enableScaling(bool scale);
    virtual void setViewOnly(bool viewOnly);
    virtual void setGrabAllKeys(bool grabAllKeys);
    virtual void switchFullscreen(bool on);
    virtual void keyEvent(QKeyEvent *event);
    virtual void scaleResize(int w, int h);

protected:
    virtual void changeStatus(RemoteView::RemoteStatus s);

    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

    RemoteView::RemoteStatus m_status;
    QString m_host;
    int m_port;
    bool m_viewOnly;
    bool m_grabAllKeys;
    bool m_scale;
    bool m_keyboardIsGrabbed;
    QUrl m_url;
    int m_dotCursorState;

private:
    void setStatus(RemoteView::RemoteStatus s);
};

#endif
