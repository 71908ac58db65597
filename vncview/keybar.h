#ifndef KEYBAR_H
#define KEYBAR_H

#include <QScrollArea>
#include <QStringList>

#include <cstdint>

class QHBoxLayout;
class VncView;

// A row of the keys an on-screen keyboard lacks (Esc, Tab, arrows, function
// keys ...), scrolling sideways on a narrow screen. A key goes to the view
// as a tap wrapped in the latched modifiers; Ctrl, Alt, Shift and Super
// latch for the next key and show pressed until it comes. The keys never
// take the focus: typing still goes to the view.
class KeyBar : public QScrollArea
{
    Q_OBJECT

public:
    struct Key
    {
        const char *id;    // the button's object name and the saved choice
        const char *label;
        uint32_t keysym;   // 0 for a sticky modifier
        int sticky;        // a KeyTranslator::Sticky bit, or 0
        bool byDefault;    // on the bar unless the user chose otherwise
    };
    static const Key keys[];
    static const int keyCount;
    // The label in the user's language.
    static QString label(const Key &key);
    static QStringList defaultKeys();

    KeyBar(VncView *view, QWidget *parent);

    // Which keys show, by id; they keep the table's order.
    void setShownKeys(const QStringList &ids);
    QStringList shownKeys() const { return shown; }

    QSize sizeHint() const override;

private:
    void showLatched(int modifiers);

    VncView *view;
    QHBoxLayout *row;
    QStringList shown;
};

#endif
