#ifndef PROCESSTREE_H
#define PROCESSTREE_H

#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QString>

// A process and its descendants, as /proc shows them: for asking CCO's Java
// for a thread dump and stopping all of CCO, whatever its scripts started,
// and for finding which processes are CCO's.
namespace ProcessTree {

// Every process of this system, and who started whom, read once.
struct Table
{
    QList<qint64> pids;
    QHash<qint64, qint64> parent;
    QMultiHash<qint64, qint64> children;
};
Table table();

// The pids /proc shows now.
QList<qint64> all();

// `root` and every process below it; empty when `root` is gone.
QList<qint64> of(qint64 root);
// The same in a table already read.
QList<qint64> of(qint64 root, const Table &table);

// The first process of `tree` that runs the program `java`; 0 when none.
qint64 javaIn(const QList<qint64> &tree);

// Sends `signal` to every process of `tree` that still runs.
void signal(const QList<qint64> &tree, int signal);

// The command line of `pid`, its arguments joined by spaces; empty when
// it is gone.
QString commandLine(qint64 pid);

bool exists(qint64 pid);
// Runs, and is no zombie waiting for its parent to reap it.
bool alive(qint64 pid);

// The parent of `pid` from /proc/PID/stat: "pid (comm) state ppid ...",
// where comm may itself hold blanks and parentheses; 0 when it is gone.
qint64 parentOf(qint64 pid);

} // namespace ProcessTree

#endif // PROCESSTREE_H
