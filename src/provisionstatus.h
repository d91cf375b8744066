#ifndef PROVISIONSTATUS_H
#define PROVISIONSTATUS_H

#include <QStringList>

class QTextStream;

// varnolet-provision status [--json | --prom | --textfile PATH]
// [--label NAME=VALUE]... [--from FILE]: how the till is, for a person
// (a monitoring plugin's first line, then every field), as the app's JSON,
// or in Prometheus' text format, printed or written whole to a textfile
// collector's folder. --from reads a status file fetched from a till, for
// a host that collects many. Returns the status's exit code (0 ready, 1 on
// the way, 2 down, 3 unknown), or -1 on wrong usage.
int statusCommand(QStringList arguments, const QString &dataFolder, QTextStream &out);

#endif // PROVISIONSTATUS_H
