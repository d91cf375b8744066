#ifndef MAINTENANCEWINDOW_H
#define MAINTENANCEWINDOW_H

#include <QDateTime>
#include <QString>
#include <QVector>

#include <limits>

// When a till may be disturbed: the maintenance window of varnolet.conf
// ("Mon-Fri 22:00-06:00; Sat,Sun 20:00-08:00"), a hold, and how long nobody
// has touched the screen or typed. A span whose end comes before its start
// runs across midnight, and belongs to the day it starts on. No window is
// a window always open.
class MaintenanceWindow
{
public:
    // "HH:MM" as minutes of the day, or -1.
    static int minuteOfDay(const QString &text);
    // Empty when `text` is a window, else why it is not.
    static QString fault(const QString &text);
    // The window in `text`; an empty or faulty one is always open.
    static MaintenanceWindow parse(const QString &text);

    bool isOpen(const QDateTime &now) const;

    // Whether the till is free at `now`, and if not why: "outside the
    // window", "held: REASON", "in use".
    struct Freedom
    {
        bool free = true;
        QString why;
    };
    static constexpr qint64 kNeverTouched = std::numeric_limits<qint64>::max();
    Freedom freedom(const QDateTime &now, const QString &holdReason, bool held, qint64 idleMs,
                    int idleMinutes) const;

private:
    struct Span
    {
        int days = 0x7f; // the days it starts on, bit 0 Monday
        int start = 0; // minutes of the day
        int end = 0;
    };
    QVector<Span> spans;
};

#endif // MAINTENANCEWINDOW_H
