#ifndef SUPPORTBUNDLE_H
#define SUPPORTBUNDLE_H

#include "outcome.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// What support asks of a till that misbehaves, in one tar.gz: the status,
// the configuration, what is installed, CCO's processes, the logs of a
// span of time, and the last picture of the screen. MANIFEST comes first,
// naming every member with its size, its sha256 and how many card numbers
// were masked in it. Card numbers never leave in clear; the PIN file never
// leaves at all. Only reads the data folder, and never waits on CCO.
namespace SupportBundle {

struct Member
{
    QString name;
    QByteArray content;
    int masked = 0; // card numbers masked in it; -1: not text, not looked at
};

// "varnolet-bundle-HOST-YYYYMMDD-HHMMSS.tar.gz"
QString defaultName(const QDateTime &now);

// Every member but MANIFEST, in the bundle's order: the log lines since
// `since`, and `screenshot` (a PNG) when there is one.
QList<Member> gather(const QString &dataFolder, const QString &configFile, quint16 port,
                     const QDateTime &since, const QByteArray &screenshot = QByteArray());

// The lines of `files` (oldest first) stamped at `since` or later; a line
// without a stamp goes with the line before it.
QByteArray linesSince(const QStringList &files, const QDateTime &since);

QByteArray manifest(const QList<Member> &members, const QDateTime &now, const QDateTime &since);

// MANIFEST and `members` as a tar.gz at `file`, mode 0600, replaced whole.
Outcome write(const QString &file, const QList<Member> &members, const QDateTime &now,
              const QDateTime &since);

} // namespace SupportBundle

#endif // SUPPORTBUNDLE_H
