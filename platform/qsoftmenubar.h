#ifndef QSOFTMENUBAR_H
#define QSOFTMENUBAR_H

class QMenu;
class QWidget;

// The soft-key menu of a widget. On a device it opens from the context soft
// key; on a desktop the context-menu key (Qt::Key_Menu) or the phone's
// context key (Qt::Key_Context1), pressed anywhere in the widget, opens it
// and pressed again closes it. Those keys are taken from the widgets inside,
// which never see them.
class QSoftMenuBar
{
public:
    enum FocusState {
        EditFocus = 1,
        NavigationFocus = 2,
        AnyFocus = 3
    };

    // The widget's menu, created on first use as its child (so it dies with
    // it). A desktop has no separate edit and navigation modes, so all focus
    // states share one menu.
    static QMenu *menuFor(QWidget *widget, FocusState state = AnyFocus);
    static bool hasMenu(QWidget *widget);

    // Lets the platform's input methods serve the widget.
    static void setInputMethodEnabled(QWidget *widget, bool enable);
    static bool isInputMethodEnabled(QWidget *widget);

    // Opens the menu of the nearest widget at or above 'from' that has one,
    // or closes it when it is open. False when there is no such menu.
    static bool toggleMenu(QWidget *from);
};

#endif
