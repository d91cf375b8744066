#ifndef TILLHOLD_H
#define TILLHOLD_H

#include "outcome.h"

#include <QDateTime>
#include <QJsonValue>
#include <QString>

// A hold a fleet's operator put on the till: while it stands, nothing that
// disturbs a shop starts by itself (the daily restart, a pushed update).
// Kept in the data folder as hold.json, so that it survives a restart of
// the app or the device; one with an end is over by itself once its end
// has passed.
struct TillHold
{
    // A reason is a few words, for a status line.
    static constexpr int kLongestReason = 40;

    bool set = false;
    QString reason;
    QDateTime since;
    QDateTime until; // invalid: until it is released

    static QString path(const QString &dataFolder);
    // The hold at `now`; none where none was set, its end has passed, or its
    // file cannot be read.
    static TillHold read(const QString &dataFolder, const QDateTime &now);
    Outcome write(const QString &dataFolder) const;
    static Outcome release(const QString &dataFolder);

    // "HH:MM" (its next coming), an ISO date and time, or a duration from
    // `now` (90m, 2h, 1d); false when `text` is none of them.
    static bool parseUntil(const QString &text, const QDateTime &now, QDateTime *until);
    // "90s", "90m", "2h", "1d": the seconds it names.
    static bool parseDuration(const QString &text, qint64 *seconds);

    // For status.json: reason, since, until; null when none is set.
    QJsonValue json() const;
    // "stocktake (until 2026-12-08 18:00)", for lines a person reads.
    QString words() const;

    bool operator==(const TillHold &other) const
    {
        return set == other.set && reason == other.reason && since == other.since
            && until == other.until;
    }
};

#endif // TILLHOLD_H
