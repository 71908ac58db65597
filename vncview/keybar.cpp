#include "keybar.h"

#include "keytranslator.h"
#include "vncview.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QScroller>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolButton>

namespace {

// A latched modifier stands out: the user must see that it waits. Drawn by
// the style in the highlight's colours: a style sheet would bring in Qt's
// style sheet machinery, most of a megabyte of memory, for this one rule.
class KeyButton : public QToolButton
{
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        if (isChecked()) {
            option.palette.setColor(QPalette::Button, option.palette.color(QPalette::Highlight));
            option.palette.setColor(QPalette::ButtonText, option.palette.color(QPalette::HighlightedText));
        }
        painter.drawComplexControl(QStyle::CC_ToolButton, option);
    }
};

} // namespace

const KeyBar::Key KeyBar::keys[] = {
    {"esc", QT_TRANSLATE_NOOP("KeyBar", "Esc"), 0xFF1B, 0, true},
    {"tab", QT_TRANSLATE_NOOP("KeyBar", "Tab"), 0xFF09, 0, true},
    {"ctrl", QT_TRANSLATE_NOOP("KeyBar", "Ctrl"), 0, KeyTranslator::StickyControl, true},
    {"alt", QT_TRANSLATE_NOOP("KeyBar", "Alt"), 0, KeyTranslator::StickyAlt, true},
    {"super", QT_TRANSLATE_NOOP("KeyBar", "Super"), 0, KeyTranslator::StickySuper, true},
    {"shift", QT_TRANSLATE_NOOP("KeyBar", "Shift"), 0, KeyTranslator::StickyShift, false},
    {"left", "←", 0xFF51, 0, true},
    {"up", "↑", 0xFF52, 0, true},
    {"down", "↓", 0xFF54, 0, true},
    {"right", "→", 0xFF53, 0, true},
    {"home", QT_TRANSLATE_NOOP("KeyBar", "Home"), 0xFF50, 0, true},
    {"end", QT_TRANSLATE_NOOP("KeyBar", "End"), 0xFF57, 0, true},
    {"pageUp", QT_TRANSLATE_NOOP("KeyBar", "PgUp"), 0xFF55, 0, true},
    {"pageDown", QT_TRANSLATE_NOOP("KeyBar", "PgDn"), 0xFF56, 0, true},
    {"insert", QT_TRANSLATE_NOOP("KeyBar", "Ins"), 0xFF63, 0, false},
    {"delete", QT_TRANSLATE_NOOP("KeyBar", "Del"), 0xFFFF, 0, false},
    {"f1", "F1", 0xFFBE, 0, true},
    {"f2", "F2", 0xFFBF, 0, true},
    {"f3", "F3", 0xFFC0, 0, true},
    {"f4", "F4", 0xFFC1, 0, true},
    {"f5", "F5", 0xFFC2, 0, true},
    {"f6", "F6", 0xFFC3, 0, true},
    {"f7", "F7", 0xFFC4, 0, true},
    {"f8", "F8", 0xFFC5, 0, true},
    {"f9", "F9", 0xFFC6, 0, true},
    {"f10", "F10", 0xFFC7, 0, true},
    {"f11", "F11", 0xFFC8, 0, true},
    {"f12", "F12", 0xFFC9, 0, true},
    {"menu", QT_TRANSLATE_NOOP("KeyBar", "Menu"), 0xFF67, 0, true},
    {"print", QT_TRANSLATE_NOOP("KeyBar", "Print"), 0xFF61, 0, false},
};
const int KeyBar::keyCount = int(std::size(KeyBar::keys));

namespace
{
// Large enough for a finger.
const int keyHeight = 40;
const int keyMinimumWidth = 44;
} // namespace

QString KeyBar::label(const Key &key)
{
    return QCoreApplication::translate("KeyBar", key.label);
}

QStringList KeyBar::defaultKeys()
{
    QStringList ids;
    for (const Key &key : keys) {
        if (key.byDefault)
            ids << QLatin1String(key.id);
    }
    return ids;
}

KeyBar::KeyBar(VncView *target, QWidget *parent)
    : QScrollArea(parent), view(target)
{
    setObjectName(QStringLiteral("keyBar"));
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    horizontalScrollBar()->setFocusPolicy(Qt::NoFocus);
    // A finger drags the row sideways; a tap still presses a key.
    QScroller::grabGesture(viewport(), QScroller::LeftMouseButtonGesture);

    auto *content = new QWidget;
    row = new QHBoxLayout(content);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    for (const Key &key : keys) {
        auto *button = new KeyButton(content);
        button->setObjectName(QLatin1String(key.id));
        button->setText(label(key));
        button->setFocusPolicy(Qt::NoFocus);
        button->setMinimumSize(keyMinimumWidth, keyHeight);
        button->setAutoRaise(false);
        if (key.sticky) {
            button->setCheckable(true);
            const int modifier = key.sticky;
            connect(button, &QToolButton::toggled, view, [this, modifier](bool on) {
                if (((view->stickyModifiers() & modifier) != 0) != on)
                    view->setStickyModifier(modifier, on);
            });
        } else {
            const uint keysym = key.keysym;
            connect(button, &QToolButton::clicked, view, [this, keysym] { view->sendKeysym(keysym); });
        }
        row->addWidget(button);
    }
    row->addStretch();
    setWidget(content);
    connect(view, &VncView::stickyModifiersChanged, this, &KeyBar::showLatched);
    setShownKeys(defaultKeys());
}

void KeyBar::setShownKeys(const QStringList &ids)
{
    shown.clear();
    for (const Key &key : keys) {
        const bool on = ids.contains(QLatin1String(key.id));
        if (on)
            shown << QLatin1String(key.id);
        if (auto *button = widget()->findChild<QToolButton *>(QLatin1String(key.id)))
            button->setVisible(on);
    }
}

void KeyBar::showLatched(int modifiers)
{
    for (const Key &key : keys) {
        if (!key.sticky)
            continue;
        if (auto *button = widget()->findChild<QToolButton *>(QLatin1String(key.id))) {
            const QSignalBlocker quiet(button);
            button->setChecked(modifiers & key.sticky);
        }
    }
}

QSize KeyBar::sizeHint() const
{
    return QSize(QScrollArea::sizeHint().width(), widget()->sizeHint().height());
}
