#ifndef CONNECTIONINFODIALOG_H
#define CONNECTIONINFODIALOG_H

#include "connectioninfo.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QTimer>

#include <functional>

class QLabel;
class QFormLayout;

// The connection's figures in words: the server, its security, the picture's
// format, what the link carries and the quality chosen. Asks 'source' for
// them once a second while it shows, and never while hidden, so that an
// idle session stays asleep. Scrolls on a small screen; Escape, the back
// key and the second soft key close it.
class ConnectionInfoDialog : public QDialog
{
    Q_OBJECT

public:
    ConnectionInfoDialog(QWidget *parent, std::function<ConnectionInfo()> source);

    struct Row {
        QString name; // the value label's object name: "info_" and this
        QString label;
        QString value; // null: the row is hidden
    };
    // What the dialog shows for 'info', in order.
    static QList<Row> rows(const ConnectionInfo &info);

    static constexpr int refreshMs = 1000;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void refresh();

    std::function<ConnectionInfo()> source;
    QTimer timer;
    QFormLayout *form;
    QHash<QString, QLabel *> values;
};

#endif
