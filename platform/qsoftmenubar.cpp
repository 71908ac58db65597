#include "qsoftmenubar.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>

namespace {

const char menuName[] = "_q_softMenu";
const char inputMethodProperty[] = "_q_softMenuInputMethod";

QMenu *ownMenu(QWidget *widget)
{
    return widget->findChild<QMenu *>(QLatin1String(menuName), Qt::FindDirectChildrenOnly);
}

// The menu that serves 'from': its own, or that of the nearest ancestor.
// An open soft-key menu serves itself, so the key closes it again.
QMenu *menuServing(QWidget *from)
{
    if (auto *menu = qobject_cast<QMenu *>(from); menu && menu->objectName() == QLatin1String(menuName))
        return menu;
    for (QWidget *w = from; w; w = w->parentWidget()) {
        if (QMenu *menu = ownMenu(w))
            return menu;
    }
    return nullptr;
}

bool isMenuKey(int key)
{
    return key == Qt::Key_Menu || key == Qt::Key_Context1;
}

// One per application: routes the menu keys to the soft-key menus.
class MenuKeyFilter : public QObject
{
public:
    using QObject::QObject;

    static void ensureInstalled()
    {
        static QPointer<MenuKeyFilter> filter;
        if (filter || !qApp)
            return;
        filter = new MenuKeyFilter(qApp);
        qApp->installEventFilter(filter);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || !isMenuKey(key->key()) || !menuServing(widget))
            return false;
        if (type == QEvent::KeyPress && !key->isAutoRepeat())
            QSoftMenuBar::toggleMenu(widget);
        return true;
    }
};

} // namespace

QMenu *QSoftMenuBar::menuFor(QWidget *widget, FocusState state)
{
    (void)state;
    if (!widget)
        return nullptr;
    QMenu *menu = ownMenu(widget);
    if (!menu) {
        menu = new QMenu(widget);
        menu->setObjectName(QLatin1String(menuName));
        MenuKeyFilter::ensureInstalled();
    }
    return menu;
}

bool QSoftMenuBar::hasMenu(QWidget *widget)
{
    return widget && ownMenu(widget);
}

void QSoftMenuBar::setInputMethodEnabled(QWidget *widget, bool enable)
{
    if (!widget)
        return;
    widget->setProperty(inputMethodProperty, enable);
    widget->setAttribute(Qt::WA_InputMethodEnabled, enable);
}

bool QSoftMenuBar::isInputMethodEnabled(QWidget *widget)
{
    return widget && widget->property(inputMethodProperty).toBool();
}

bool QSoftMenuBar::toggleMenu(QWidget *from)
{
    QMenu *menu = from ? menuServing(from) : nullptr;
    if (!menu)
        return false;
    if (menu->isVisible()) {
        menu->close();
        return true;
    }
    // Where a device shows its left soft key: the owner's bottom-left corner.
    QWidget *owner = menu->parentWidget();
    QPoint at = owner->mapToGlobal(QPoint(0, owner->height()));
    at.ry() -= menu->sizeHint().height();
    menu->popup(at);
    return true;
}
