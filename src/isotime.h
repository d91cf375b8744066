#ifndef ISOTIME_H
#define ISOTIME_H

#include <QDateTime>
#include <QString>

// A time as the files for a fleet's tools write it: ISO 8601 with the
// local offset ("2026-12-08T09:12:03+01:00"); empty for no time.
inline QString isoTime(const QDateTime &time)
{
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate)
                          : QString();
}

#endif // ISOTIME_H
