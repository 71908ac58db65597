// What a handheld needs besides the menu: touchpad mode, and the key bar
// under the picture with the user's choice of keys, kept in the
// configuration.
#include "vemo.h"

#include "keybar.h"
#include "vncview.h"

#include <QAction>
#include <QMenu>
#include <QScrollArea>
#include <QSettings>
#include <QStandardPaths>

namespace {

const char shownSetting[] = "keyBar/shown";
const char keysSetting[] = "keyBar/keys";

QString configurationFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/vemo/vemo.conf");
}

} // namespace

void Vemo::buildHandheldMenu(QMenu *menu)
{
    const auto named = [this](QAction *action, const char *name) {
        action->setObjectName(QLatin1String(name));
        actions.insert(QLatin1String(name), action);
        return action;
    };
    QAction *touchpad = named(addAction(menu, tr("Touch&pad mode"), true), "touchpad");
    touchpad->setChecked(windowSettings.touchpad);
    connect(touchpad, &QAction::toggled, view, &VncView::setTouchpadMode);

    // The second soft key shows and hides the bar, from anywhere in the window.
    QAction *bar = named(addAction(menu, tr("Key &bar"), true), "keyBar");
    bar->setShortcut(QKeySequence(Qt::Key_Context2));
    bar->setShortcutContext(Qt::WindowShortcut);
    QWidget::addAction(bar);
    connect(bar, &QAction::toggled, this, &Vemo::setKeyBarShown);

    QMenu *choice = menu->addMenu(tr("Keys o&n the bar"));
    choice->setObjectName(QStringLiteral("keyBarKeys"));
    for (int i = 0; i < KeyBar::keyCount; ++i) {
        const KeyBar::Key &key = KeyBar::keys[i];
        QAction *entry = addAction(choice, KeyBar::label(key), true);
        entry->setObjectName(QStringLiteral("keyBarKey_") + QLatin1String(key.id));
        entry->setChecked(keyBar->shownKeys().contains(QLatin1String(key.id)));
        const QString id = QLatin1String(key.id);
        connect(entry, &QAction::toggled, this, [this, id](bool on) {
            QStringList keys = keyBar->shownKeys();
            if (on)
                keys << id;
            else
                keys.removeAll(id);
            keyBar->setShownKeys(keys);
            QSettings(configurationFile(), QSettings::IniFormat).setValue(QLatin1String(keysSetting), keyBar->shownKeys());
            layOut();
        });
    }
}

// The bar as the user left it last time.
void Vemo::createKeyBar()
{
    keyBar = new KeyBar(view, this);
    const QSettings settings(configurationFile(), QSettings::IniFormat);
    keyBar->setShownKeys(settings.value(QLatin1String(keysSetting), KeyBar::defaultKeys()).toStringList());
    keyBar->setVisible(settings.value(QLatin1String(shownSetting), false).toBool());
}

void Vemo::setKeyBarShown(bool on)
{
    if (on == keyBar->isVisible())
        return;
    keyBar->setVisible(on);
    QSettings(configurationFile(), QSettings::IniFormat).setValue(QLatin1String(shownSetting), on);
    layOut();
    askForRemoteSize();
}

int Vemo::keyBarHeight() const
{
    return keyBar && !keyBar->isHidden() ? keyBar->sizeHint().height() : 0;
}

// The bar along the bottom, the picture above it: it never covers the
// picture, which is fitted to what is left (or scrolls in it).
void Vemo::layOut()
{
    const int bar = qMin(keyBarHeight(), height() / 2);
    area->setGeometry(0, 0, width(), height() - bar);
    keyBar->setGeometry(0, height() - bar, width(), bar);
    fitView();
}
