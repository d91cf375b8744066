#ifndef CCOPROBE_H
#define CCOPROBE_H

#include <QString>
#include <QStringList>

// Finds out whether this installation's CCO runs on this device, whoever
// started it, and who else holds CCO's address. A process is CCO when its
// program lies inside the installation; when its program lies inside the
// data folder (the runtime's java) and it works inside the installation;
// or when it works inside the installation, or runs the runtime's java,
// and it, or a process it started, listens on CCO's port (`port` below). A shell that only
// works there is not, nor the runtime's java run for anything else. The
// restore tool (its jar or its scripts) is never CCO: it is found on its
// own. Reads /proc and opens no more than a loopback connection.
namespace CcoProbe {

// The port CCO serves on. A backend may be given another (its tests are,
// so that they run beside the tests that serve on the real one).
constexpr quint16 kDefaultPort = 9999;

// The first of this installation's CCO processes, none of whose parents is
// one: its pid, 0 when none runs, and "pid N: command line".
struct Cco
{
    qint64 pid = 0;
    QString description;
};
Cco runningCco(const QString &dataFolder, quint16 port);
// The same for this installation's restore tool, whoever started it.
Cco runningRestoreTool(const QString &dataFolder);

// What keeps the installation from being changed or its programs started:
// the restore tool, or, with `ccoToo`, CCO, whoever started either. `who`
// is "the restore tool" or "CCO", empty when neither runs.
struct InTheWay
{
    QString who;
    QString description;
    bool cco = false;
};
InTheWay inTheWay(const QString &dataFolder, bool ccoToo, quint16 port);

// Who holds CCO's address, when it answers and the holder is not this
// installation's CCO: "pid N (command line)", or "a process this app cannot
// see"; empty when the address is free or CCO's own.
QString strangerOnPort(const QString &dataFolder, quint16 port);

// "pid N: command line" of each process listening on the loopback or any
// address at `port`, where /proc shows it.
QStringList listenersOn(quint16 port);

// Whether something accepts connections on 127.0.0.1:`port` now.
bool addressAnswers(quint16 port);

// For a CCO that has not got ready `readinessMs` after its start, in three
// lines: that it has not, who holds CCO's address, and whether the
// runtime's java exists.
QStringList whoServes(const QString &dataFolder, int readinessMs, quint16 port);

} // namespace CcoProbe

#endif // CCOPROBE_H
