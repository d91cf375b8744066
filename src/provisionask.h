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

#endif // PROVISIONASK_H
