// Touch gestures written as text, shared by the interpreter's own test and
// the view's: events separated by ';', each of points and a time. "1+10,20"
// is finger 1 down at (10,20), "1>30,20" moved there, "1-" up where it
// was, "@120" the event's time in ms; "hold" lets the hold time pass and
// "cancel" has the system take the touches away.
#pragma once

#include <QHash>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

struct TouchStep
{
    enum Kind { Touch, Hold, Cancel };
    struct Point
    {
        int id;
        char change; // '+' down, '>' moved, '-' up
        QPointF pos;
    };
    Kind kind = Touch;
    quint64 time = 0;
    QList<Point> points;
};

inline QList<TouchStep> parseTouchScript(const QString &script)
{
    QList<TouchStep> steps;
    QHash<int, QPointF> at;
    for (const QString &event : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        TouchStep step;
        const QString trimmed = event.trimmed();
        if (trimmed == QLatin1String("hold") || trimmed == QLatin1String("cancel")) {
            step.kind = trimmed == QLatin1String("hold") ? TouchStep::Hold : TouchStep::Cancel;
            steps << step;
            continue;
        }
        for (const QString &token : trimmed.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (token.startsWith(QLatin1Char('@'))) {
                step.time = token.mid(1).toULongLong();
                continue;
            }
            const int id = token.left(1).toInt();
            const QStringList xy = token.mid(2).split(QLatin1Char(','));
            if (xy.size() == 2)
                at[id] = QPointF(xy[0].toDouble(), xy[1].toDouble());
            step.points.append({id, char(token.at(1).toLatin1()), at[id]});
        }
        steps << step;
    }
    return steps;
}
