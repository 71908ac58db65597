// The start screen's sessions: from a row, a typed address or a connection
// file to a session window, and back when the user disconnects.
#include "startscreen.h"

#include "connectionfile.h"
#include "discovery.h"
#include "passwordvault.h"
#include "qsoftmenubar.h"
#include "vemo.h"
#include "vncview.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <memory>

namespace {

const char connectionFilter[] = QT_TRANSLATE_NOOP("StartScreen", "Connection files (*.tigervnc);;All files (*)");

} // namespace

void StartScreen::connectSelected()
{
    const QListWidgetItem *item = list->currentItem();
    if (!item || item->flags() == Qt::NoItemFlags)
        return;
    const QString key = item->data(KeyRole).toString();
    if (const ServerEntry *e = selectedSaved()) {
        connectEntry(*e, {e->name, QString()});
        return;
    }
    // A typed address from the recent list, or a server found nearby.
    ServerEntry typed;
    typed.address = key;
    connectEntry(typed, {QString(), key});
}

void StartScreen::connectTyped()
{
    const QString text = address->text().trimmed();
    if (text.isEmpty()) {
        showProblem(tr("Type a server address, such as host:1, or choose a server from the list."));
        return;
    }
    if (const ServerEntry *e = store.find(text)) {
        connectEntry(*e, {e->name, QString()});
        return;
    }
    ServerEntry typed;
    typed.address = text;
    QUrl url;
    QString error;
    // Recent lists never keep a password typed into the address.
    const QString kept = addressToUrl(text, &url, &error) && !url.password().isEmpty()
                             ? url.toString(QUrl::RemovePassword)
                             : text;
    connectEntry(typed, {QString(), kept});
}

// The remembered password, where there is one, goes with the settings.
void StartScreen::connectEntry(const ServerEntry &entry, const ServerStore::Recent &used)
{
    SessionSettings settings;
    QString error;
    if (!sessionSettings(entry, commandLine(), &settings, &error)) {
        opening = false;
        showProblem(error);
        show();
        return;
    }
    if (!entry.rememberPassword || !settings.options.password.isNull()) {
        openSession(settings, used);
        return;
    }
    opening = true;
    passwords()->read(entry.name, [this, settings, used](const QString &password) mutable {
        if (!password.isNull())
            settings.options.password = password;
        openSession(settings, used);
    });
}

void StartScreen::openSession(const SessionSettings &settings, const ServerStore::Recent &used)
{
    QString error;
    if (!used.name.isEmpty() || !used.address.isEmpty())
        store.noteUsed(used, &error);
    refresh();
    showProblem(error);
    delete current;
    Vemo::setServerUrl(settings.url);
    Vemo::setConnectionOptions(settings.options);
    Vemo::setWindowOptions(settings.window);
    current = new Vemo(nullptr, windowFlags());
    opening = false;
    // A phone-sized screen keeps the session as large as this window was.
    if (isMaximized())
        current->setWindowState(current->windowState() | Qt::WindowMaximized);
    current->setAttribute(Qt::WA_QuitOnClose, true);
    applyScaling(settings);
    // With --reconnect the window itself tries again until the server is there.
    if (!settings.window.reconnect)
        returnOnFailure();
    if (auto *disconnect = current->findChild<QAction *>(QStringLiteral("disconnect")))
        connect(disconnect, &QAction::triggered, this, &StartScreen::endSession);
    if (auto *open = current->findChild<QAction *>(QStringLiteral("openDocument")))
        connect(open, &QAction::triggered, this, &StartScreen::openDocument);
    const bool wasShown = isVisible();
    QWidget::setVisible(false);
    if (wasShown || !testAttribute(Qt::WA_WState_ExplicitShowHide)) {
        current->show();
        current->activateWindow();
    }
}

// The entry's scaling, once the remote screen is there.
void StartScreen::applyScaling(const SessionSettings &settings)
{
    if (settings.scaling == ServerEntry::Fit)
        return;
    VncView *view = current->findChild<VncView *>();
    const int percent = settings.scaling == ServerEntry::Zoom ? settings.zoomPercent : 100;
    // Once: zooming changes the size again.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(view, &RemoteView::changeSize, view, [view, connection, percent] {
        QObject::disconnect(*connection);
        view->showActualSize();
        if (percent != 100)
            view->zoomBy(percent / 100.0, QPointF(view->width() / 2.0, view->height() / 2.0));
    });
}

// A server that cannot be reached, or refuses to sign in, sends the user
// back here with the reason, the typed address still in its field.
void StartScreen::returnOnFailure()
{
    VncView *view = current->findChild<VncView *>();
    auto reached = std::make_shared<bool>(false);
    connect(view, &RemoteView::statusChanged, this, [reached](RemoteView::RemoteStatus status) {
        *reached = *reached || status == RemoteView::Connected;
    });
    connect(view, &RemoteView::errorMessage, this, [this, reached](const QString &title, const QString &message) {
        if (*reached)
            return;
        // Not from inside the view's own signal.
        QTimer::singleShot(0, this, [this, text = title + QLatin1Char('\n') + message] {
            endSession();
            showProblem(text);
        });
    });
}

// Disconnect is the user's choice to leave the server: back to the list.
void StartScreen::endSession()
{
    if (!current)
        return;
    const QRect where = current->geometry();
    current->hide();
    current->deleteLater();
    current = nullptr;
    store.load();
    refresh();
    if (!isMaximized() && !isFullScreen())
        move(where.topLeft());
    show();
    list->setFocus();
}

void StartScreen::openDocument()
{
    auto *dialog = new QFileDialog(current ? static_cast<QWidget *>(current) : this, tr("Open a connection file"),
                                   QDir::homePath(), tr(connectionFilter));
    dialog->setObjectName(QStringLiteral("openConnectionFile"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Queued: the new session replaces the window the dialog belongs to.
    connect(dialog, &QFileDialog::fileSelected, this, &StartScreen::openConnectionFile, Qt::QueuedConnection);
    dialog->open();
}

void StartScreen::openConnectionFile(const QString &path)
{
    ServerEntry entry;
    QString error;
    if (!ConnectionFile::read(path, &entry, &error)) {
        opening = false;
        showProblem(error);
        if (!current)
            show();
        return;
    }
    connectEntry(entry, {QString(), entry.address});
}

void StartScreen::exportServer()
{
    const ServerEntry *e = selectedSaved();
    if (!e) {
        showProblem(tr("Choose a saved server to export."));
        return;
    }
    const ServerEntry entry = *e;
    auto *dialog = new QFileDialog(this, tr("Export a connection file"),
                                   QDir::home().filePath(entry.name + QLatin1String(".tigervnc")),
                                   tr(connectionFilter));
    dialog->setObjectName(QStringLiteral("exportConnectionFile"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("tigervnc"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this, entry](const QString &path) {
        QString error;
        ConnectionFile::write(path, entry, &error);
        showProblem(error);
    });
    dialog->open();
}
