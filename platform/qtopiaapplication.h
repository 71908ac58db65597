#ifndef QTOPIAAPPLICATION_H
#define QTOPIAAPPLICATION_H

#include <QApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

// The application object of the platform: a QApplication that knows its
// main widget and how to show it. Decisions are traced at debug level in the
// category "vemo.platform".
class QtopiaApplication : public QApplication
{
    Q_OBJECT

public:
    // How text is entered into a widget, for the platform's input methods.
    enum InputMethodHint {
        Normal = 0,
        AlwaysOff = 1,
        Text = 2,
        Number = 3,
        PhoneNumber = 4,
        Words = 5,
        Named = 6
    };
    Q_ENUM(InputMethodHint)

    QtopiaApplication(int &argc, char **argv);
    ~QtopiaApplication() override;

    // noMaximize: keep the widget's own size when it is shown.
    void setMainWidget(QWidget *widget, bool noMaximize = false);
    QWidget *mainWidget() const;

    void showMainWidget();
    // For widgets that open documents (they have a setDocument(QString)
    // slot); shown like any main widget here.
    void showMainDocumentWidget();

    static void setInputMethodHint(QWidget *widget, InputMethodHint hint,
                                   const QString &param = QString());
    static InputMethodHint inputMethodHint(QWidget *widget);
    static QString inputMethodHintParam(QWidget *widget);

private:
    void show(const char *how);

    QPointer<QWidget> main;
    bool noMaximize = false;
};

#endif
