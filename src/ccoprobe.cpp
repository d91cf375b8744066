#include "ccoprobe.h"

#include "installation.h"
#include "processtree.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMultiHash>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>

namespace {

QString commandLineOf(const QString &pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray raw = file.readAll();
    if (raw.endsWith('\0'))
        raw.chop(1);
    return QString::fromLocal8Bit(raw.replace('\0', ' '));
}

QString describe(const QString &pid)
{
    const QString commandLine = commandLineOf(pid);
    return commandLine.isEmpty() ? QStringLiteral("pid %1").arg(pid)
                                 : QStringLiteral("pid %1: %2").arg(pid, commandLine);
}

QStringList processIds()
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    QStringList pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        entry.toLongLong(&number);
        if (number && entry != self)
            pids << entry;
    }
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

// What /proc says of the processes of this system, this one excepted.
struct Processes
{
    QHash<qint64, qint64> parent;
    QMultiHash<qint64, qint64> children;
    QList<qint64> pids;
};

Processes scan()
{
    Processes all;
    for (const QString &pid : processIds()) {
        const qint64 parent = ProcessTree::parentOf(pid.toLongLong());
        all.pids << pid.toLongLong();
        all.parent.insert(pid.toLongLong(), parent);
        all.children.insert(parent, pid.toLongLong());
    }
    return all;
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
    for (const QString &pid : processIds()) {
        const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QFileInfo &fd : QDir(fds).entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            static const QRegularExpression socket(QStringLiteral("^socket:\\[(\\d+)\\]$"));
            const QString target =
                QFile::symLinkTarget(fd.filePath()).section(QLatin1Char('/'), -1);
            const QRegularExpressionMatch match = socket.match(target);
            if (match.hasMatch() && inodes.contains(match.captured(1))) {
                found.insert(pid.toLongLong());
                break;
            }
        }
    }
    return found;
}

// The processes of this installation's CCO.
QSet<qint64> ccoProcesses(const Processes &all, const QString &dataFolder, quint16 port)
{
    const QString data = QFileInfo(dataFolder).canonicalFilePath();
    const QString cco = QFileInfo(Installation::ccoFolder(dataFolder)).canonicalFilePath();
    QSet<qint64> found;
    if (data.isEmpty())
        return found;
    QSet<qint64> listeners;
    bool listenersRead = false;
    for (qint64 pid : all.pids) {
        if (inside(link(pid, "exe"), data)) {
            found.insert(pid);
            continue;
        }
        if (cco.isEmpty() || !inside(link(pid, "cwd"), cco))
            continue;
        if (!listenersRead) {
            listeners = listenerPids(port);
            listenersRead = true;
        }
        QList<qint64> tree{pid};
        for (int i = 0; i < tree.size(); ++i) {
            if (listeners.contains(tree[i])) {
                found.insert(pid);
                break;
            }
            tree += all.children.values(tree[i]);
        }
    }
    return found;
}

} // namespace

namespace CcoProbe {

quint16 ccoPort = 9999;

QStringList listenersOn(quint16 port)
{
    QStringList found;
    for (qint64 pid : listenerPids(port))
        found << describe(QString::number(pid));
    return found;
}

bool addressAnswers(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    // Loopback answers at once, with a connection or a refusal.
    return probe.waitForConnected(1000);
}

Cco runningCco(const QString &dataFolder)
{
    const Processes all = scan();
    const QSet<qint64> cco = ccoProcesses(all, dataFolder, ccoPort);
    for (qint64 pid : all.pids) {
        if (cco.contains(pid) && !cco.contains(all.parent.value(pid)))
            return {pid, describe(QString::number(pid))};
    }
    return {};
}

QString strangerOnPort(const QString &dataFolder)
{
    if (!addressAnswers(ccoPort))
        return QString();
    const Processes all = scan();
    const QSet<qint64> cco = ccoProcesses(all, dataFolder, ccoPort);
    const QSet<qint64> listeners = listenerPids(ccoPort);
    for (qint64 pid : listeners) {
        bool ccoOwn = false;
        for (qint64 up = pid; up > 1 && !ccoOwn; up = all.parent.value(up))
            ccoOwn = cco.contains(up);
        if (!ccoOwn) {
            const QString commandLine = commandLineOf(QString::number(pid));
            return commandLine.isEmpty() ? QStringLiteral("pid %1").arg(pid)
                                         : QStringLiteral("pid %1 (%2)").arg(pid).arg(commandLine);
        }
    }
    return listeners.isEmpty() ? QStringLiteral("a process this app cannot see") : QString();
}

QStringList whoServes(const QString &dataFolder, int readinessMs)
{
    const QStringList holders = listenersOn(ccoPort);
    const QString java = Installation::javaOf(Installation::runtimeFolder(dataFolder));
    return {QStringLiteral("CCO has not said \"Web container started.\" %1 seconds after its "
                           "start; it keeps running.")
                .arg(readinessMs / 1000),
            holders.isEmpty() ? QStringLiteral("Nothing listens on 127.0.0.1:%1 yet.").arg(ccoPort)
                              : QStringLiteral("127.0.0.1:%1 is held by %2.")
                                    .arg(ccoPort)
                                    .arg(holders.join(QLatin1String("; "))),
            QFileInfo::exists(java)
                ? QStringLiteral("The runtime's bin/java exists: %1").arg(java)
                : QStringLiteral("The runtime's bin/java is missing: %1").arg(java)};
}

} // namespace CcoProbe
