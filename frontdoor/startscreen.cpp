#include "startscreen.h"

#include "connectionfile.h"
#include "discovery.h"
#include "passwordvault.h"
#include "qsoftmenubar.h"
#include "serverdialog.h"
#include "vemo.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QGestureEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

struct ActionRow {
    const char *name; // object name, also of the button
    const char *text;
    void (StartScreen::*slot)();
    bool button; // also a button below the list
};

// The menu's entries; the ones a finger needs most are buttons too.
const ActionRow actionRows[] = {
    {"connect", QT_TRANSLATE_NOOP("StartScreen", "&Connect"), &StartScreen::connectSelected, false},
    {"add", QT_TRANSLATE_NOOP("StartScreen", "&Add…"), &StartScreen::addServer, true},
    {"edit", QT_TRANSLATE_NOOP("StartScreen", "&Edit…"), &StartScreen::editServer, true},
    {"duplicate", QT_TRANSLATE_NOOP("StartScreen", "D&uplicate"), &StartScreen::duplicateServer, true},
    {"delete", QT_TRANSLATE_NOOP("StartScreen", "&Delete"), &StartScreen::deleteServer, true},
    {"export", QT_TRANSLATE_NOOP("StartScreen", "E&xport…"), &StartScreen::exportServer, false},
};

CommandLine &startCommandLine()
{
    static CommandLine commandLine;
    return commandLine;
}

} // namespace

void StartScreen::setCommandLine(const CommandLine &commandLine)
{
    startCommandLine() = commandLine;
}

const CommandLine &StartScreen::commandLine()
{
    return startCommandLine();
}

bool StartScreen::isStartName(const QString &name)
{
    return ServerStore::isSavedName(name) || (name.endsWith(QLatin1String(".tigervnc")) && QFileInfo(name).isFile());
}

bool StartScreen::wanted()
{
    return startCommandLine().window.listenPort == 0;
}

StartScreen::StartScreen(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowTitle(tr("vemo"));
    resize(QSize(480, 640).boundedTo(screen()->availableSize()));
    address = new QLineEdit(this);
    address->setObjectName(QStringLiteral("address"));
    address->setPlaceholderText(tr("Server address, e.g. host:1"));
    address->setClearButtonEnabled(true);
    address->setMinimumHeight(fontMetrics().height() * 2 + 8);
    auto *go = new QPushButton(tr("&Go"), this);
    go->setObjectName(QStringLiteral("go"));
    go->setMinimumHeight(address->minimumHeight());
    connect(address, &QLineEdit::returnPressed, this, &StartScreen::connectTyped);
    connect(go, &QPushButton::clicked, this, &StartScreen::connectTyped);

    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("servers"));
    list->setWordWrap(true);
    list->setUniformItemSizes(false);
    connect(list, &QListWidget::itemActivated, this, &StartScreen::connectSelected);
    connect(list, &QListWidget::itemClicked, this, [this] {
        // The finger that held a row for its menu lifts without connecting.
        if (!std::exchange(heldForMenu, false))
            connectSelected();
    });
    // A right click, or a finger held on a row, offers what can be done with it.
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, &StartScreen::showRowMenu);
    list->viewport()->grabGesture(Qt::TapAndHoldGesture);
    list->viewport()->installEventFilter(this);

    problem = new QLabel(this);
    problem->setObjectName(QStringLiteral("problem"));
    problem->setWordWrap(true);
    problem->hide();

    auto *top = new QHBoxLayout;
    top->addWidget(address, 1);
    top->addWidget(go);
    auto *buttons = new QHBoxLayout;
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list, 1);
    layout->addWidget(problem);
    layout->addLayout(buttons);
    buildMenu();
    for (const ActionRow &row : actionRows) {
        if (!row.button)
            continue;
        auto *button = new QPushButton(tr(row.text), this);
        button->setObjectName(QLatin1String(row.name) + QLatin1String("Button"));
        button->setMinimumHeight(address->minimumHeight());
        // Keys reach the buttons' actions through the list and the menu.
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, row.slot);
        buttons->addWidget(button);
    }
    address->installEventFilter(this);
    list->installEventFilter(this);

    store.load();
    refresh();
    const CommandLine &given = startCommandLine();
    if (!given.serverName.isEmpty()) {
        opening = true;
        if (store.find(given.serverName))
            connectEntry(*store.find(given.serverName), {given.serverName, QString()});
        else
            openConnectionFile(given.serverName);
    } else if (!given.url.isEmpty()) {
        SessionSettings settings;
        settings.url = given.url;
        settings.options = given.options;
        settings.window = given.window;
        // Scripts and kiosks start this way: the recent list is the start
        // screen's own.
        openSession(settings, {});
    }
    (list->currentItem() ? static_cast<QWidget *>(list) : address)->setFocus();
}

StartScreen::~StartScreen()
{
    delete current;
}

void StartScreen::setVisible(bool visible)
{
    // The session's window stands for this one while it runs.
    if (visible && (current || opening)) {
        if (current)
            current->show();
        return;
    }
    if (visible && !discovery) {
        passwords(); // probed now, so that an edit dialog can say at once
        discovery = new Discovery(this);
        connect(discovery, &Discovery::changed, this, &StartScreen::refresh);
    }
    QWidget::setVisible(visible);
}

PasswordVault *StartScreen::passwords()
{
    if (!vault)
        vault = new PasswordVault(this);
    return vault;
}

void StartScreen::buildMenu()
{
    QMenu *menu = QSoftMenuBar::menuFor(this, QSoftMenuBar::AnyFocus);
    auto *open = new QAction(tr("&Open Document"), this);
    open->setObjectName(QStringLiteral("openDocument"));
    connect(open, &QAction::triggered, this, &StartScreen::openDocument);
    menu->addAction(open);
    menu->addSeparator();
    for (const ActionRow &row : actionRows) {
        auto *action = new QAction(tr(row.text), menu);
        action->setObjectName(QLatin1String(row.name));
        connect(action, &QAction::triggered, this, row.slot);
        menu->addAction(action);
    }
    menu->addSeparator();
    auto *quit = new QAction(tr("&Quit"), menu);
    quit->setObjectName(QStringLiteral("quit"));
    connect(quit, &QAction::triggered, this, &QWidget::close);
    menu->addAction(quit);
}

QListWidgetItem *StartScreen::addRow(Kind kind, const QString &title, const QString &detail, const QString &key)
{
    auto *item = new QListWidgetItem(detail.isEmpty() ? title : title + QLatin1Char('\n') + detail, list);
    item->setData(KindRole, int(kind));
    item->setData(KeyRole, key);
    // Large enough for a finger.
    const int lines = detail.isEmpty() ? 1 : 2;
    item->setSizeHint(QSize(0, qMax(48, fontMetrics().lineSpacing() * lines + 20)));
    if (kind == Heading) {
        // Out of the arrow keys' way, but not greyed out.
        item->setFlags(Qt::NoItemFlags);
        item->setForeground(palette().windowText());
        QFont bold = font();
        bold.setBold(true);
        item->setFont(bold);
        item->setSizeHint(QSize(0, fontMetrics().lineSpacing() + 12));
    }
    return item;
}

// Recent first, then saved, then found; keeps the selection where it can.
void StartScreen::refresh()
{
    const QListWidgetItem *was = list->currentItem();
    const int kind = was ? was->data(KindRole).toInt() : -1;
    const QString key = was ? was->data(KeyRole).toString() : QString();
    list->clear();
    if (!store.recent().isEmpty())
        addRow(Heading, tr("Recent"), QString(), QString());
    for (const ServerStore::Recent &r : store.recent()) {
        const ServerEntry *e = r.name.isEmpty() ? nullptr : store.find(r.name);
        addRow(Recent, e ? e->name : r.address, e ? e->address : QString(), r.name.isEmpty() ? r.address : r.name)
            ->setData(TypedRole, r.name.isEmpty());
    }
    if (!store.servers().isEmpty())
        addRow(Heading, tr("Saved"), QString(), QString());
    for (const ServerEntry &e : store.servers())
        addRow(Saved, e.name, e.address, e.name);
    const QList<Discovery::Server> found = discovery ? discovery->servers() : QList<Discovery::Server>();
    if (!found.isEmpty())
        addRow(Heading, tr("On this network"), QString(), QString());
    for (const Discovery::Server &s : found)
        addRow(Found, s.name, QStringLiteral("%1 (%2)").arg(s.host, s.address), s.address);
    if (list->count() == 0) {
        addRow(Heading, tr("No servers yet: type an address above, or add a server."), QString(), QString())
            ->setFont(font());
    }
    // The row that was current stays so; else the most recent server.
    QListWidgetItem *first = nullptr;
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *item = list->item(i);
        if (item->flags() == Qt::NoItemFlags)
            continue;
        if (!first)
            first = item;
        if (item->data(KindRole).toInt() == kind && item->data(KeyRole).toString() == key) {
            first = item;
            break;
        }
    }
    list->setCurrentItem(first);
}

void StartScreen::showProblem(const QString &text)
{
    problem->setText(text);
    problem->setVisible(!text.isEmpty());
}

const ServerEntry *StartScreen::selectedSaved() const
{
    const QListWidgetItem *item = list->currentItem();
    if (!item)
        return nullptr;
    const Kind kind = Kind(item->data(KindRole).toInt());
    const bool typed = item->data(TypedRole).toBool();
    return (kind == Saved || (kind == Recent && !typed)) ? store.find(item->data(KeyRole).toString()) : nullptr;
}

void StartScreen::showRowMenu(const QPoint &at)
{
    QListWidgetItem *item = list->itemAt(at);
    if (!item || item->flags() == Qt::NoItemFlags)
        return;
    list->setCurrentItem(item);
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("rowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const ActionRow &row : actionRows)
        menu->addAction(findChild<QAction *>(QLatin1String(row.name)));
    menu->popup(list->viewport()->mapToGlobal(at));
}

bool StartScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == list->viewport() && event->type() == QEvent::Gesture) {
        auto *gesture = static_cast<QGestureEvent *>(event);
        auto *hold = static_cast<QTapAndHoldGesture *>(gesture->gesture(Qt::TapAndHoldGesture));
        if (hold && hold->state() == Qt::GestureFinished) {
            heldForMenu = true;
            showRowMenu(list->viewport()->mapFromGlobal(hold->position().toPoint()));
        }
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (watched == address && key == Qt::Key_Down && list->currentItem()) {
        list->setFocus();
        return true;
    }
    if (watched == address && key == Qt::Key_Escape) {
        address->clear();
        list->setFocus();
        return true;
    }
    if (watched != list)
        return false;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        connectSelected();
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        deleteServer();
        return true;
    case Qt::Key_Escape:
        address->setFocus();
        return true;
    case Qt::Key_Up: {
        // Above the first row is the address field.
        int row = list->currentRow() - 1;
        while (row >= 0 && list->item(row)->flags() == Qt::NoItemFlags)
            --row;
        if (row < 0) {
            address->setFocus();
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}
