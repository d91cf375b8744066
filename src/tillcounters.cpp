#include "tillcounters.h"

#include "wholefile.h"

#include <QDir>
#include <QJsonDocument>
#include <QLockFile>

#include <functional>

namespace {

constexpr qint64 kLargestBytes = 4096;

// The counts as written, every known one present.
QJsonObject counts(const QByteArray &content)
{
    const QJsonObject written = QJsonDocument::fromJson(content).object();
    const QJsonObject writtenRestarts = written.value("restarts").toObject();
    QJsonObject restarts;
    for (const char *reason : TillCounters::kRestartReasons)
        restarts.insert(reason, qMax(0.0, writtenRestarts.value(reason).toDouble()));
    return QJsonObject{{"restarts", restarts},
                       {"rollbacks", qMax(0.0, written.value("rollbacks").toDouble())}};
}

QJsonObject readFile(const QString &path)
{
    QByteArray content;
    QString why;
    WholeFile::read(path, kLargestBytes, &content, &why);
    return counts(content);
}

// Raises the count that `raise` picks, under the lock: two writers at once
// each see the other's count.
Outcome raise(const QString &dataFolder, const std::function<void(QJsonObject &)> &raise)
{
    const QString file = TillCounters::path(dataFolder);
    QDir().mkpath(dataFolder);
    QLockFile lock(file + QLatin1String(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(2000))
        return Outcome::failed(QStringLiteral("%1 is locked by another process").arg(file));
    QJsonObject now = readFile(file);
    raise(now);
    return WholeFile::replace(file, QJsonDocument(now).toJson());
}

} // namespace

namespace TillCounters {

QString path(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/counters.json");
}

Outcome addRestart(const QString &dataFolder, const QString &reason)
{
    return raise(dataFolder, [&reason](QJsonObject &now) {
        QJsonObject restarts = now.value("restarts").toObject();
        restarts.insert(reason, restarts.value(reason).toDouble() + 1);
        now.insert("restarts", restarts);
    });
}

Outcome addRollback(const QString &dataFolder)
{
    return raise(dataFolder, [](QJsonObject &now) {
        now.insert("rollbacks", now.value("rollbacks").toDouble() + 1);
    });
}

QJsonObject read(const QString &dataFolder)
{
    return readFile(path(dataFolder));
}

} // namespace TillCounters
