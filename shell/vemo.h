#ifndef VEMO_H
#define VEMO_H

#include "connectionoptions.h"
#include "remoteview.h"

#include <QSize>
#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;
class VncView;

// The main window: one VncView on the server named at start-up, sized so
// that the whole remote screen is visible (scaled down when it does not fit),
// and a status line while there is nothing to show.
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

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void remoteSizeChanged(int w, int h);
    void showStatus(RemoteView::RemoteStatus status);
    void showError(const QString &title, const QString &message);
    void showNotice(const QString &text, const QString &titleState);
    void fitView();
    QSize windowSizeFor(const QSize &remote) const;
    void placeNotice();

    VncView *view;
    QLabel *notice;
    QString address;
    QSize remoteSize;
    bool sizedToRemote = false;
    bool failed = false;
};

#endif
