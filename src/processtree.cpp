#include "processtree.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/types.h>

namespace ProcessTree {

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() : 0;
}

bool exists(qint64 pid)
{
    return pid > 0 && QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

QList<qint64> all()
{
    QList<qint64> pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number)
            pids << pid;
    }
    return pids;
}

Table table()
{
    Table table;
    table.pids = all();
    for (qint64 pid : qAsConst(table.pids)) {
        const qint64 parent = parentOf(pid);
        table.parent.insert(pid, parent);
        table.children.insert(parent, pid);
    }
    return table;
}

QList<qint64> of(qint64 root, const Table &table)
{
    QList<qint64> tree{root};
    for (int i = 0; i < tree.size(); ++i)
        tree += table.children.values(tree[i]);
    return tree;
}

QList<qint64> of(qint64 root)
{
    return exists(root) ? of(root, table()) : QList<qint64>();
}

qint64 javaIn(const QList<qint64> &tree)
{
    for (qint64 pid : tree) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "java")
            return pid;
    }
    return 0;
}

void signal(const QList<qint64> &tree, int signal)
{
    for (qint64 pid : tree)
        ::kill(pid_t(pid), signal);
}

QString commandLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray raw = file.readAll();
    if (raw.endsWith('\0'))
        raw.chop(1);
    return QString::fromLocal8Bit(raw.replace('\0', ' '));
}

} // namespace ProcessTree
