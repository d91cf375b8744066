#ifndef PENDINGUPDATE_H
#define PENDINGUPDATE_H

#include "outcome.h"

#include <QDateTime>
#include <QJsonValue>
#include <QString>

// An update pushed from outside: one zip at a time in updates/ of the data
// folder, waiting for the till's free moment, with its name, SHA-256 and
// since when; and what came of the last one applied. Kept on disk, so that
// a pending update survives a restart of the app or the device.
namespace PendingUpdate {

struct Info
{
    bool pending = false;
    QString name; // the zip's file name as it was sent
    QString sha256;
    QDateTime since;
};

QString zip(const QString &dataFolder);
Info pending(const QString &dataFolder);

// Copies `zip` in as the pending update, whole: a newer one replaces an
// older one, whose name goes to `replaced`.
Outcome queue(const QString &dataFolder, const QString &zip, const QString &sha256,
              QString *replaced);
// The pending update is done with, whatever came of it.
void clear(const QString &dataFolder);

// What came of an update: "applied", "failed" (with its reason), "rolled
// back"; the one applied last is the one a rollback is recorded for.
void record(const QString &dataFolder, const Info &update, const QString &result,
            const QString &reason = QString());
void rolledBack(const QString &dataFolder);

// For status.json: {"pending": {name, sha256, since} or null, "last":
// {name, sha256, result, reason, at} or null}.
QJsonValue json(const QString &dataFolder);

} // namespace PendingUpdate

#endif // PENDINGUPDATE_H
