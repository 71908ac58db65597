#include "qtopiaapplication.h"

#include <QScreen>
#include <QWidget>

Q_LOGGING_CATEGORY(lcPlatform, "vemo.platform", QtInfoMsg)

namespace {

const char hintProperty[] = "_q_inputMethodHint";
const char hintParamProperty[] = "_q_inputMethodHintParam";

struct HintMapping {
    QtopiaApplication::InputMethodHint hint;
    Qt::InputMethodHints qtHints;
};

// What each platform hint asks of Qt's own input methods.
const HintMapping hintMappings[] = {
    {QtopiaApplication::Normal, Qt::ImhNone},
    {QtopiaApplication::AlwaysOff, Qt::ImhNone},
    {QtopiaApplication::Text, Qt::ImhNone},
    {QtopiaApplication::Number, Qt::ImhFormattedNumbersOnly},
    {QtopiaApplication::PhoneNumber, Qt::ImhDialableCharactersOnly},
    {QtopiaApplication::Words, Qt::ImhNone},
    {QtopiaApplication::Named, Qt::ImhNone},
};

} // namespace

QtopiaApplication::QtopiaApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

QtopiaApplication::~QtopiaApplication() = default;

void QtopiaApplication::setMainWidget(QWidget *widget, bool noMaximize)
{
    main = widget;
    this->noMaximize = noMaximize;
}

QWidget *QtopiaApplication::mainWidget() const
{
    return main;
}

void QtopiaApplication::showMainWidget()
{
    show("showMainWidget");
}

void QtopiaApplication::showMainDocumentWidget()
{
    show("showMainDocumentWidget");
}

void QtopiaApplication::show(const char *how)
{
    if (!main) {
        qCDebug(lcPlatform, "%s: no main widget", how);
        return;
    }
    qCDebug(lcPlatform, "%s: %s", how, main->metaObject()->className());
    // A device screen is filled by its one application; a desktop window
    // keeps the size its widget chose.
    const QScreen *screen = main->screen();
    const bool smallScreen = screen
                             && qMax(screen->size().width(), screen->size().height()) <= 640;
    if (!noMaximize && smallScreen)
        main->showMaximized();
    else
        main->show();
    main->raise();
    main->activateWindow();
}

void QtopiaApplication::setInputMethodHint(QWidget *widget, InputMethodHint hint,
                                           const QString &param)
{
    if (!widget)
        return;
    widget->setProperty(hintProperty, int(hint));
    widget->setProperty(hintParamProperty, param);
    for (const HintMapping &m : hintMappings) {
        if (m.hint == hint)
            widget->setInputMethodHints(m.qtHints);
    }
    if (hint == AlwaysOff)
        widget->setAttribute(Qt::WA_InputMethodEnabled, false);
}

QtopiaApplication::InputMethodHint QtopiaApplication::inputMethodHint(QWidget *widget)
{
    const QVariant v = widget ? widget->property(hintProperty) : QVariant();
    return v.isValid() ? static_cast<InputMethodHint>(v.toInt()) : Normal;
}

QString QtopiaApplication::inputMethodHintParam(QWidget *widget)
{
    return widget ? widget->property(hintParamProperty).toString() : QString();
}
