#ifndef CCOPROBE_H
#define CCOPROBE_H

#include <QString>
#include <QStringList>

// Finds out whether a CCO runs on this device, whoever started it: a process
// working or running from inside the data folder, or a program serving on
// CCO's address. Reads /proc and opens no more than a loopback connection.
namespace CcoProbe {

// The port CCO serves on, 9999. The backend's own tests move it, so that they
// can run beside the tests that serve on the real one.
extern quint16 ccoPort;

// "pid N: command line" of each process whose working folder or executable
// lies inside `folder`, this process excepted.
QStringList processesInside(const QString &folder);

// "pid N: command line" of each process listening on the loopback or any
// address at `port`, where /proc shows it.
QStringList listenersOn(quint16 port);

// Whether something accepts connections on 127.0.0.1:`port` now.
bool addressAnswers(quint16 port);

// What runs as CCO from `dataFolder` or on CCO's address, in one line;
// empty when nothing does.
QString runningCco(const QString &dataFolder);

// For a CCO that does not get ready, in two lines: who holds CCO's address,
// and whether the runtime's java exists.
QStringList whoServes(const QString &dataFolder);

} // namespace CcoProbe

#endif // CCOPROBE_H
