#ifndef PROVISIONASK_H
#define PROVISIONASK_H

#include <QStringList>

class CommandExecutor;
class QTextStream;

// varnolet-provision's requests to the running app: stop, start, restart,
// hold, release. Where no app runs, the tool stops CCO and sets or
// releases a hold itself. Returns the exit code (0 done, 1 refused or
// failed, 2 wrong usage), or -1 when `command` is none of these.
int askTheApp(const QString &command, QStringList arguments, CommandExecutor *log,
              QTextStream &out);

// When the installation came from a zip of `sha256`: says so, and true.
bool unchanged(const QString &sha256, QTextStream &out);

// Prints `line` and writes it to the app's log.
void tell(QTextStream &out, CommandExecutor *log, const QString &line);

// varnolet-provision update ZIP [--now] [--if-changed] [--timeout S]: the
// zip checked as an import checks it, queued in the data folder, and the
// app asked to apply it at the till's next free moment, or at once. With
// no app running it is imported at once, unless CCO runs.
int update(QStringList arguments, CommandExecutor *executor, QTextStream &out);

#endif // PROVISIONASK_H
