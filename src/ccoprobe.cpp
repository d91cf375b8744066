#include "ccoprobe.h"

#include "installation.h"
#include "processtree.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>

#include <algorithm>
#include <optional>

namespace {

QString describe(qint64 pid)
{
    const QString commandLine = ProcessTree::commandLine(pid);
    return commandLine.isEmpty() ? QStringLiteral("pid %1").arg(pid)
                                 : QStringLiteral("pid %1: %2").arg(pid).arg(commandLine);
}

// Every process but this one.
QList<qint64> others(QList<qint64> pids)
{
    pids.removeAll(QCoreApplication::applicationPid());
    return pids;
}

bool inside(const QString &path, const QString &folder)
{
    return !path.isEmpty() && (path == folder || path.startsWith(folder + QLatin1Char('/')));
}

// The inodes of the sockets that listen on `port` in /proc/net/tcp and tcp6.
QSet<QString> listeningInodes(quint16 port)
{
    // Columns: sl local_address rem_address st ... inode; state 0A is LISTEN.
    const QString portHex = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    QSet<QString> inodes;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file{QString::fromLatin1(table)};
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.readLine();
        while (!file.atEnd()) {
            const QStringList fields =
                QString::fromLatin1(file.readLine()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (fields.size() > 9 && fields[1].endsWith(portHex)
                && fields[3] == QLatin1String("0A"))
                inodes.insert(fields[9]);
        }
    }
    return inodes;
}

QString link(qint64 pid, const char *name)
{
    return QFileInfo(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)))
        .symLinkTarget();
}

// The pids listening on `port`, where /proc shows them.
QSet<qint64> listenerPids(quint16 port)
{
    const QSet<QString> inodes = listeningInodes(port);
    QSet<qint64> found;
    if (inodes.isEmpty())
        return found;
    for (qint64 pid : others(ProcessTree::all())) {
        const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QFileInfo &fd : QDir(fds).entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            static const QRegularExpression socket(QStringLiteral("^socket:\\[(\\d+)\\]$"));
            const QString target =
                QFile::symLinkTarget(fd.filePath()).section(QLatin1Char('/'), -1);
            const QRegularExpressionMatch match = socket.match(target);
            if (match.hasMatch() && inodes.contains(match.captured(1))) {
                found.insert(pid);
                break;
            }
        }
    }
    return found;
}

// Whether `pid` runs CCO's restore tool: its jar, or a script that starts it.
bool runsRestoreTool(qint64 pid)
{
    const QString commandLine = ProcessTree::commandLine(pid);
    return commandLine.contains(QLatin1String("CCO_Restore.jar"))
        || commandLine.contains(QLatin1String("run_cco_restore"));
}

// The processes of this installation's CCO, this one excepted, or with
// `restoreTool` those of its restore tool. The listeners on CCO's `port` are
// read into `listeners` when they are needed and were not read yet.
QSet<qint64> ccoProcesses(const ProcessTree::Table &all, const QString &dataFolder, quint16 port,
                          std::optional<QSet<qint64>> &listeners, bool restoreTool = false)
{
    const QString data = QFileInfo(dataFolder).canonicalFilePath();
    const QString cco = QFileInfo(Installation::ccoFolder(dataFolder)).canonicalFilePath();
    QSet<qint64> found;
    if (data.isEmpty())
        return found;
    for (qint64 pid : others(all.pids)) {
        const QString program = link(pid, "exe");
        const bool worksHere = !cco.isEmpty() && inside(link(pid, "cwd"), cco);
        // The installation's own programs are its; the runtime's java is
        // the installation's only where it works for it; anything else
        // only where it works there and serves CCO's port.
        const bool ours = !cco.isEmpty() && inside(program, cco);
        if (!ours && !worksHere && !inside(program, data))
            continue;
        if (runsRestoreTool(pid) != restoreTool)
            continue;
        if (restoreTool || ours || (worksHere && inside(program, data))) {
            found.insert(pid);
            continue;
        }
        if (!listeners)
            listeners = listenerPids(port);
        const QList<qint64> tree = ProcessTree::of(pid, all);
        if (std::any_of(tree.begin(), tree.end(),
                        [&](qint64 member) { return listeners->contains(member); }))
            found.insert(pid);
    }
    return found;
}

// The first of `processes` none of whose parents is one of them.
CcoProbe::Cco topmost(const ProcessTree::Table &all, const QSet<qint64> &processes)
{
    for (qint64 pid : all.pids) {
        if (processes.contains(pid) && !processes.contains(all.parent.value(pid)))
            return {pid, describe(pid)};
    }
    return {};
}

} // namespace

namespace CcoProbe {

QStringList listenersOn(quint16 port)
{
    QStringList found;
    for (qint64 pid : listenerPids(port))
        found << describe(pid);
    return found;
}

bool addressAnswers(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    // Loopback answers at once, with a connection or a refusal.
    return probe.waitForConnected(1000);
}

Cco runningCco(const QString &dataFolder, quint16 port)
{
    const ProcessTree::Table all = ProcessTree::table();
    std::optional<QSet<qint64>> listeners;
    return topmost(all, ccoProcesses(all, dataFolder, port, listeners));
}

Cco runningRestoreTool(const QString &dataFolder)
{
    const ProcessTree::Table all = ProcessTree::table();
    std::optional<QSet<qint64>> listeners;
    return topmost(all, ccoProcesses(all, dataFolder, 0, listeners, true));
}

InTheWay inTheWay(const QString &dataFolder, bool ccoToo, quint16 port)
{
    const Cco tool = runningRestoreTool(dataFolder);
    if (tool.pid > 0)
        return {QStringLiteral("the restore tool"), tool.description, false};
    const Cco cco = ccoToo ? runningCco(dataFolder, port) : Cco();
    if (cco.pid > 0)
        return {QStringLiteral("CCO"), cco.description, true};
    return {};
}

QString strangerOnPort(const QString &dataFolder, quint16 port)
{
    if (!addressAnswers(port))
        return QString();
    const ProcessTree::Table all = ProcessTree::table();
    std::optional<QSet<qint64>> listeners;
    const QSet<qint64> cco = ccoProcesses(all, dataFolder, port, listeners);
    if (!listeners)
        listeners = listenerPids(port);
    for (qint64 pid : *listeners) {
        bool ccoOwn = false;
        for (qint64 up = pid; up > 1 && !ccoOwn; up = all.parent.value(up))
            ccoOwn = cco.contains(up);
        if (!ccoOwn) {
            const QString commandLine = ProcessTree::commandLine(pid);
            return commandLine.isEmpty() ? QStringLiteral("pid %1").arg(pid)
                                         : QStringLiteral("pid %1 (%2)").arg(pid).arg(commandLine);
        }
    }
    return listeners->isEmpty() ? QStringLiteral("a process this app cannot see") : QString();
}

QStringList whoServes(const QString &dataFolder, int readinessMs, quint16 port)
{
    const QStringList holders = listenersOn(port);
    const QString java = Installation::javaOf(Installation::runtimeFolder(dataFolder));
    return {QStringLiteral("CCO has not said \"Web container started.\" %1 seconds after its "
                           "start; it keeps running.")
                .arg(readinessMs / 1000),
            holders.isEmpty() ? QStringLiteral("Nothing listens on 127.0.0.1:%1 yet.").arg(port)
                              : QStringLiteral("127.0.0.1:%1 is held by %2.")
                                    .arg(port)
                                    .arg(holders.join(QLatin1String("; "))),
            QFileInfo::exists(java)
                ? QStringLiteral("The runtime's bin/java exists: %1").arg(java)
                : QStringLiteral("The runtime's bin/java is missing: %1").arg(java)};
}

} // namespace CcoProbe
