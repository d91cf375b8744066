#include "ccoprobe.h"

#include "installation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

} // namespace

namespace CcoProbe {

quint16 ccoPort = 9999;

QStringList processesInside(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    QStringList found;
    if (canonical.isEmpty())
        return found;
    for (const QString &pid : processIds()) {
        const QString base = QStringLiteral("/proc/") + pid;
        if (inside(QFileInfo(base + QLatin1String("/cwd")).symLinkTarget(), canonical)
            || inside(QFileInfo(base + QLatin1String("/exe")).symLinkTarget(), canonical))
            found << describe(pid);
    }
    return found;
}

QStringList listenersOn(quint16 port)
{
    const QSet<QString> inodes = listeningInodes(port);
    QStringList found;
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
                found << describe(pid);
                break;
            }
        }
    }
    return found;
}

bool addressAnswers(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    // Loopback answers at once, with a connection or a refusal.
    return probe.waitForConnected(1000);
}

QString runningCco(const QString &dataFolder)
{
    QStringList what = processesInside(dataFolder);
    if (addressAnswers(ccoPort)) {
        const QStringList listeners = listenersOn(ccoPort);
        for (const QString &listener : listeners) {
            if (!what.contains(listener))
                what << listener;
        }
        if (listeners.isEmpty())
            what << QStringLiteral("a program serving on 127.0.0.1:%1").arg(ccoPort);
    }
    return what.join(QLatin1String("; "));
}

QStringList whoServes(const QString &dataFolder)
{
    const QStringList holders = listenersOn(ccoPort);
    const QString java = Installation::javaOf(Installation::runtimeFolder(dataFolder));
    return {holders.isEmpty() ? QStringLiteral("Nothing listens on 127.0.0.1:%1 yet.").arg(ccoPort)
                              : QStringLiteral("127.0.0.1:%1 is held by %2.")
                                    .arg(ccoPort)
                                    .arg(holders.join(QLatin1String("; "))),
            QFileInfo::exists(java)
                ? QStringLiteral("The runtime's bin/java exists: %1").arg(java)
                : QStringLiteral("The runtime's bin/java is missing: %1").arg(java)};
}

} // namespace CcoProbe
