#ifndef TILLCOUNTERS_H
#define TILLCOUNTERS_H

#include "outcome.h"

#include <QJsonObject>
#include <QString>

// Counts that only ever go up, kept in the data folder (counters.json), so
// that a monitor's rate of them survives the app being opened again: CCO's
// restarts by their reason, and the rollbacks. The app and
// varnolet-provision both count, so each count is read, raised and
// written back whole under a lock file.
namespace TillCounters {

// Why CCO was started again: it crashed, ended with an exit code, stopped
// answering, its processes went; the daily restart; a restart asked for.
inline constexpr const char *kRestartReasons[] = {"crashed", "exit",      "hung",
                                                  "gone",    "scheduled", "requested"};

QString path(const QString &dataFolder);
// One more restart for `reason`, one of kRestartReasons.
Outcome addRestart(const QString &dataFolder, const QString &reason);
Outcome addRollback(const QString &dataFolder);
// {"restarts": {every reason: count}, "rollbacks": count}, zeros for what
// never came (and for a file that cannot be read).
QJsonObject read(const QString &dataFolder);

} // namespace TillCounters

#endif // TILLCOUNTERS_H
