#include "pendingupdate.h"

#include "isotime.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString folder(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/updates");
}

QJsonObject readObject(const QString &path)
{
    QByteArray content;
    QString why;
    if (WholeFile::read(path, 64 * 1024, &content, &why) != WholeFile::Read::Done)
        return QJsonObject();
    return QJsonDocument::fromJson(content).object();
}

QString infoFile(const QString &dataFolder)
{
    return folder(dataFolder) + QLatin1String("/pending.json");
}

QString lastFile(const QString &dataFolder)
{
    return folder(dataFolder) + QLatin1String("/last.json");
}

} // namespace

namespace PendingUpdate {

QString zip(const QString &dataFolder)
{
    return folder(dataFolder) + QLatin1String("/pending.zip");
}

Info pending(const QString &dataFolder)
{
    const QJsonObject object = readObject(infoFile(dataFolder));
    Info info;
    info.pending = !object.isEmpty() && QFileInfo(zip(dataFolder)).isFile();
    info.name = object.value("name").toString();
    info.sha256 = object.value("sha256").toString();
    info.since = QDateTime::fromString(object.value("since").toString(), Qt::ISODate);
    return info;
}

Outcome queue(const QString &dataFolder, const QString &source, const QString &sha256,
              QString *replaced)
{
    const Info before = pending(dataFolder);
    *replaced = before.pending ? before.name : QString();
    // The zip whole beside its place first: a pending update is never half a zip.
    QDir().mkpath(folder(dataFolder));
    const QString part = zip(dataFolder) + QLatin1String(".part");
    QFile::remove(part);
    QFile::remove(infoFile(dataFolder));
    if (!QFile::copy(source, part))
        return Outcome::failed(QStringLiteral("cannot copy %1 into %2 (is the disk full?)")
                                   .arg(source, folder(dataFolder)));
    QFile::remove(zip(dataFolder));
    if (!QFile::rename(part, zip(dataFolder)))
        return Outcome::failed(
            QStringLiteral("cannot put the update in place in %1").arg(folder(dataFolder)));
    const QJsonObject info{{"name", QFileInfo(source).fileName()},
                           {"sha256", sha256},
                           {"since", isoTime(QDateTime::currentDateTime())}};
    return WholeFile::replace(infoFile(dataFolder), QJsonDocument(info).toJson());
}

void clear(const QString &dataFolder)
{
    QFile::remove(infoFile(dataFolder));
    QFile::remove(zip(dataFolder));
}

void record(const QString &dataFolder, const Info &update, const QString &result,
            const QString &reason)
{
    const QJsonObject last{{"name", update.name},
                           {"sha256", update.sha256},
                           {"result", result},
                           {"reason", reason.isEmpty() ? QJsonValue() : QJsonValue(reason)},
                           {"at", isoTime(QDateTime::currentDateTime())}};
    WholeFile::replace(lastFile(dataFolder), QJsonDocument(last).toJson()).ok();
}

void rolledBack(const QString &dataFolder)
{
    QJsonObject last = readObject(lastFile(dataFolder));
    if (last.value("result") != QLatin1String("applied"))
        return;
    Info update;
    update.name = last.value("name").toString();
    update.sha256 = last.value("sha256").toString();
    record(dataFolder, update, QStringLiteral("rolled back"),
           QStringLiteral("the new installation never got ready"));
}

QJsonValue json(const QString &dataFolder)
{
    const Info info = pending(dataFolder);
    const QJsonObject last = readObject(lastFile(dataFolder));
    return QJsonObject{
        {"pending",
         info.pending ? QJsonValue(QJsonObject{
             {"name", info.name},
             {"sha256", info.sha256},
             {"since", info.since.isValid() ? QJsonValue(isoTime(info.since)) : QJsonValue()}})
                      : QJsonValue()},
        {"last", last.isEmpty() ? QJsonValue() : QJsonValue(last)}};
}

} // namespace PendingUpdate
