// The soft-key menu: what the window offers besides the remote screen.
// Each action has a mnemonic, so the menu (opened with the menu key or a
// tap of four fingers) is usable from the keyboard.
#include "vemo.h"

#include "connectioninfodialog.h"
#include "keybar.h"
#include "keytranslator.h"
#include "qsoftmenubar.h"
#include "vncview.h"

#include <QAction>
#include <QActionGroup>
#include <QInputDialog>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QWindow>

namespace {

struct SentKey {
    const char *text;
    uint keysym;
};

// Keys an on-screen keyboard rarely has.
const SentKey sentKeys[] = {
    {QT_TRANSLATE_NOOP("Vemo", "&Esc"), 0xFF1B},   {QT_TRANSLATE_NOOP("Vemo", "&Tab"), 0xFF09},
    {QT_TRANSLATE_NOOP("Vemo", "F&1"), 0xFFBE},    {QT_TRANSLATE_NOOP("Vemo", "F&2"), 0xFFBF},
    {QT_TRANSLATE_NOOP("Vemo", "F&3"), 0xFFC0},    {QT_TRANSLATE_NOOP("Vemo", "F&4"), 0xFFC1},
    {QT_TRANSLATE_NOOP("Vemo", "F&5"), 0xFFC2},    {QT_TRANSLATE_NOOP("Vemo", "F&6"), 0xFFC3},
    {QT_TRANSLATE_NOOP("Vemo", "F&7"), 0xFFC4},    {QT_TRANSLATE_NOOP("Vemo", "F&8"), 0xFFC5},
    {QT_TRANSLATE_NOOP("Vemo", "F&9"), 0xFFC6},    {QT_TRANSLATE_NOOP("Vemo", "F1&0"), 0xFFC7},
    {QT_TRANSLATE_NOOP("Vemo", "F11"), 0xFFC8},    {QT_TRANSLATE_NOOP("Vemo", "F12"), 0xFFC9},
    {QT_TRANSLATE_NOOP("Vemo", "&Super"), 0xFFEB}, {QT_TRANSLATE_NOOP("Vemo", "&Print"), 0xFF61},
    // Our own menu takes the Menu key.
    {QT_TRANSLATE_NOOP("Vemo", "&Menu"), 0xFF67},
};

struct StickyModifier {
    const char *name; // the action's object name
    const char *text;
    KeyTranslator::Sticky modifier;
};

const StickyModifier stickyModifiers[] = {
    {"stickyControl", QT_TRANSLATE_NOOP("Vemo", "Hold C&trl for the next key"), KeyTranslator::StickyControl},
    {"stickyAlt", QT_TRANSLATE_NOOP("Vemo", "Hold A&lt for the next key"), KeyTranslator::StickyAlt},
    {"stickyShift", QT_TRANSLATE_NOOP("Vemo", "Hold S&hift for the next key"), KeyTranslator::StickyShift},
    {"stickySuper", QT_TRANSLATE_NOOP("Vemo", "Hold S&uper for the next key"), KeyTranslator::StickySuper},
};

struct QualityEntry {
    const char *name; // the action's object name
    const char *text;
    Quality quality;
};

const QualityEntry qualityEntries[] = {
    {"qualityAuto", QT_TRANSLATE_NOOP("Vemo", "&Automatic"), Quality::Auto},
    {"qualityHigh", QT_TRANSLATE_NOOP("Vemo", "&High (lossless)"), Quality::High},
    {"qualityMedium", QT_TRANSLATE_NOOP("Vemo", "&Medium"), Quality::Medium},
    {"qualityLow", QT_TRANSLATE_NOOP("Vemo", "&Low (256 colours)"), Quality::Low},
};

} // namespace

QAction *Vemo::addAction(QMenu *menu, const QString &text, bool checkable)
{
    auto *action = new QAction(text, menu);
    action->setCheckable(checkable);
    menu->addAction(action);
    return action;
}

void Vemo::buildMenu()
{
    QMenu *menu = QSoftMenuBar::menuFor(this, QSoftMenuBar::AnyFocus);
    // The platform's first entry: the start screen, where there is one,
    // opens connection files with it.
    auto *open = new QAction(tr("Open Document"), this);
    open->setObjectName(QStringLiteral("openDocument"));
    menu->addAction(open);
    menu->addSeparator();

    const auto named = [this](QAction *action, const char *name) {
        action->setObjectName(QLatin1String(name));
        actions.insert(QLatin1String(name), action);
        return action;
    };
    connect(named(addAction(menu, tr("&Full screen"), true), "fullscreen"), &QAction::toggled, this,
            &Vemo::setFullscreen);
    auto *sizing = new QActionGroup(this);
    sizing->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    QAction *fit = named(addAction(menu, tr("Fit to &window"), true), "fit");
    QAction *actual = named(addAction(menu, tr("&Actual size (1:1)"), true), "actualSize");
    sizing->addAction(fit);
    sizing->addAction(actual);
    connect(fit, &QAction::triggered, view, &VncView::fitToWindow);
    connect(actual, &QAction::triggered, view, &VncView::showActualSize);
    // Chosen, the picture goes to that size; either way Actual size shows it from then on.
    connect(named(addAction(menu, tr("Actual size in lo&gical pixels"), true), "logicalPixels"), &QAction::toggled,
            view, [this](bool on) {
                view->setLogicalPixels(on);
                view->showActualSize();
            });
    connect(named(addAction(menu, tr("Zoom &in")), "zoomIn"), &QAction::triggered, view, &VncView::zoomIn);
    connect(named(addAction(menu, tr("Zoom &out")), "zoomOut"), &QAction::triggered, view, &VncView::zoomOut);
    connect(named(addAction(menu, tr("&Resize the remote desktop to the window"), true), "remoteResize"),
            &QAction::toggled, this, &Vemo::setRemoteResize);
    connect(named(addAction(menu, tr("&View only"), true), "viewOnly"), &QAction::toggled, this, [this](bool on) {
        view->setViewOnly(on);
        if (!titleState.isEmpty())
            setTitle(titleState);
    });
    // Taken by the running session, no reconnect; the next connection keeps it.
    QMenu *quality = menu->addMenu(tr("Qualit&y"));
    quality->setObjectName(QStringLiteral("quality"));
    auto *qualities = new QActionGroup(this);
    for (const QualityEntry &entry : qualityEntries) {
        QAction *action = named(addAction(quality, tr(entry.text), true), entry.name);
        qualities->addAction(action);
        const Quality chosen = entry.quality;
        connect(action, &QAction::triggered, view, [this, chosen] { view->setQuality(chosen); });
    }
    connect(named(addAction(menu, tr("Connection infor&mation…")), "connectionInfo"), &QAction::triggered, this,
            &Vemo::showConnectionInfo);
    menu->addSeparator();

    connect(named(addAction(menu, tr("Send Ctrl+Alt+&Del")), "ctrlAltDel"), &QAction::triggered, view,
            &VncView::sendCtrlAltDel);
    QMenu *keys = menu->addMenu(tr("Send &key"));
    keys->setObjectName(QStringLiteral("sendKey"));
    for (const SentKey &key : sentKeys) {
        const uint keysym = key.keysym;
        connect(addAction(keys, tr(key.text)), &QAction::triggered, view, [this, keysym] { view->sendKeysym(keysym); });
    }
    connect(named(addAction(menu, tr("Type te&xt…")), "typeText"), &QAction::triggered, this, &Vemo::askForText);
    for (const StickyModifier &sticky : stickyModifiers) {
        const KeyTranslator::Sticky modifier = sticky.modifier;
        connect(named(addAction(menu, tr(sticky.text), true), sticky.name), &QAction::toggled, view,
                [this, modifier](bool on) { view->setStickyModifier(modifier, on); });
    }
    buildHandheldMenu(menu);
    connect(view, &VncView::stickyModifiersChanged, this, &Vemo::updateMenu);
    connect(view, &VncView::sizingChanged, this, &Vemo::updateMenu);
    menu->addSeparator();

    connect(named(addAction(menu, tr("Re&connect")), "reconnect"), &QAction::triggered, this, &Vemo::retryNow);
    connect(named(addAction(menu, tr("Di&sconnect")), "disconnect"), &QAction::triggered, view,
            &VncView::disconnectFromServer);
    menu->addSeparator();
    // As closing the window does.
    connect(named(addAction(menu, tr("&Quit")), "quit"), &QAction::triggered, this, &QWidget::close);

    actions.value(QStringLiteral("remoteResize"))->setChecked(windowSettings.remoteResize);
    actions.value(QStringLiteral("viewOnly"))->setChecked(windowSettings.viewOnly);
    updateMenu();
}

// Checks and enabled states from the view and the window.
void Vemo::updateMenu()
{
    const bool connected = view->currentStatus() == RemoteView::Connected;
    const bool disconnected = view->currentStatus() == RemoteView::Disconnected;
    const bool sending = connected && !view->isViewOnly();
    const auto set = [this](const char *name, bool enabled, int checked = -1) {
        QAction *action = actions.value(QLatin1String(name));
        const QSignalBlocker quiet(action);
        action->setEnabled(enabled);
        if (checked >= 0)
            action->setChecked(checked);
    };
    set("fullscreen", true, isFullScreen());
    set("fit", connected, view->isFitting());
    set("actualSize", connected, view->isActualSize());
    set("logicalPixels", true, view->logicalPixels());
    set("zoomIn", connected);
    set("zoomOut", connected);
    set("remoteResize", view->canResizeRemote());
    set("ctrlAltDel", sending);
    set("typeText", sending);
    set("touchpad", true, view->isTouchpadMode());
    set("keyBar", true, keyBarHeight() > 0);
    keyBar->setEnabled(sending);
    for (const StickyModifier &sticky : stickyModifiers)
        set(sticky.name, sending, (view->stickyModifiers() & sticky.modifier) != 0);
    // Unblocked, so that the exclusive group unchecks the last one.
    for (const QualityEntry &entry : qualityEntries) {
        if (view->quality() == entry.quality)
            actions.value(QLatin1String(entry.name))->setChecked(true);
    }
    set("reconnect", disconnected && !listener);
    set("disconnect", !disconnected);
    if (QMenu *keys = findChild<QMenu *>(QStringLiteral("sendKey")))
        keys->setEnabled(sending);
}

// Text typed or composed here (by an input method that delivers no key
// events) goes to the server as key presses: for servers without a
// clipboard, and for login screens.
void Vemo::askForText()
{
    auto *dialog = new QInputDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("typeTextDialog"));
    dialog->setWindowTitle(tr("Type text"));
    dialog->setLabelText(tr("Text to type on the remote desktop:"));
    dialog->setOkButtonText(tr("&Type"));
    connect(dialog, &QInputDialog::textValueSelected, view, &VncView::sendText);
    dialog->open();
}

// Beside the picture, so that the figures can be watched as it changes.
void Vemo::showConnectionInfo()
{
    if (auto *open = findChild<ConnectionInfoDialog *>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    // The window's children go in the order they came: the view before the dialog.
    const QPointer<VncView> shown = view;
    auto *dialog = new ConnectionInfoDialog(
        this, [shown] { return shown ? shown->connectionInfo() : ConnectionInfo(); });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void Vemo::setFullscreen(bool on)
{
    QAction *resize = actions.value(QStringLiteral("remoteResize"));
    if (on) {
        // Full screen asks the server to fit its desktop to the screen,
        // unless the user turns that off again.
        if (!isFullScreen())
            remoteResizeBeforeFullscreen = resize->isChecked();
        showFullScreen();
        coverScreen();
        resize->setChecked(true);
    } else if (isFullScreen()) {
        const QRect normal = normalGeometry();
        showNormal();
        // Where no window manager gives it back.
        if (normal.isValid())
            setGeometry(normal);
        resize->setChecked(remoteResizeBeforeFullscreen);
    }
    updateMenu();
}

// Without a window manager (a kiosk, a thin client) nobody acts on the
// request for full screen: the window takes the screen's geometry itself,
// as a window manager that does act would give it. Through the native
// window, as QWidget::setGeometry would end the full-screen state.
void Vemo::coverScreen()
{
    if (isFullScreen() && screen() && windowHandle())
        windowHandle()->setGeometry(screen()->geometry());
}

void Vemo::setRemoteResize(bool on)
{
    if (on)
        askForRemoteSize();
}

void Vemo::askForRemoteSize()
{
    const QAction *wanted = actions.value(QStringLiteral("remoteResize"));
    if (wanted && wanted->isChecked() && view->canResizeRemote())
        view->requestRemoteSize(area->size()); // what the key bar leaves
}

void Vemo::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateMenu();
}
