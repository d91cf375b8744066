#ifndef PROVISIONSITE_H
#define PROVISIONSITE_H

#include <QStringList>

class CommandExecutor;
class QTextStream;

// varnolet-provision site set PATH FILE | site remove PATH | site list: the
// till's own files, and laying them over the installation when no CCO
// runs. Returns the exit code, 2 on wrong usage.
int siteCommand(const QStringList &arguments, CommandExecutor *executor, QTextStream &out);

#endif // PROVISIONSITE_H
