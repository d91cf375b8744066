#include "statusfile.h"

#include "installation.h"
#include "isotime.h"
#include "maintenancepin.h"
#include "pendingupdate.h"
#include "sitefiles.h"
#include "tillcounters.h"
#include "updates.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStorageInfo>

namespace {

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

StatusFile::StatusFile(QObject *parent)
    : QObject(parent)
    , dataFolder(Installation::dataFolder())
{
    connect(&heartbeat, &QTimer::timeout, this, [this] { write(true); });
    heartbeat.start(kHeartbeatMs);
    write(true);
}

void StatusFile::publish(const SupervisionStatus &status)
{
    published = status;
    write();
}

QString StatusFile::path(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/status.json");
}

// Whether a maintenance PIN guards the till, and whether its file is sound.
QString StatusFile::pinState()
{
    switch (MaintenancePin(MaintenancePin::defaultFolder()).file()) {
    case MaintenancePin::File::None:
        return QStringLiteral("none");
    case MaintenancePin::File::Sound:
        return QStringLiteral("set");
    case MaintenancePin::File::Damaged:
        break;
    }
    return QStringLiteral("damaged");
}

QJsonObject StatusFile::snapshot() const
{
    const QString cco = Installation::ccoFolder(dataFolder);
    const QString runtime = Installation::runtimeFolder(dataFolder);
    const QString runScript = cco + QLatin1String("/run.sh");
    const QFileInfo imported(Installation::importedMarker(dataFolder));
    QJsonObject installation{
        {"present", QFileInfo::exists(runScript)},
        {"checkPassed",
         Installation::isExecutableFile(runScript) && Installation::runtimeCanRun(runtime)},
        {"importedAt",
         imported.exists() ? QJsonValue(isoTime(imported.lastModified())) : QJsonValue()},
        {"previousKept", Updates::hasPrevious(dataFolder)},
        {"trial", QFileInfo::exists(Updates::trialFile(dataFolder))},
        {"sha256", orNull(Installation::zipHash(cco))}};
    QJsonArray site;
    for (const SiteFiles::Entry &entry : SiteFiles::list(dataFolder))
        site.append(QJsonObject{{"path", entry.path}, {"sha256", entry.sha256}});
    return QJsonObject{{"version", QStringLiteral(VARNOLET_VERSION)},
                       {"state", published.state},
                       {"pid", published.pid > 0 ? QJsonValue(published.pid) : QJsonValue()},
                       {"restarts24h", published.restarts24h},
                       {"restartAttempt",
                        published.restartAttempt > 0 ? QJsonValue(published.restartAttempt)
                                                     : QJsonValue()},
                       {"counters", TillCounters::read(dataFolder)},
                       {"lastEnd", orNull(published.lastEnd)},
                       {"scheduledRestarts24h", published.scheduledRestarts24h},
                       {"hold", published.hold},
                       {"free", published.free},
                       {"notFree", orNull(published.notFree)},
                       {"installation", installation},
                       {"site", site},
                       {"update", PendingUpdate::json(dataFolder)},
                       {"pin", pinState()},
                       {"runtimePresent", Installation::runtimeCanRun(runtime)},
                       {"freeBytes", QStorageInfo(dataFolder).bytesAvailable()}};
}

void StatusFile::write(bool always)
{
    QJsonObject status = snapshot();
    if (status.value("state").toString() != state || !since.isValid()) {
        state = status.value("state").toString();
        since = QDateTime::currentDateTime();
    }
    status.insert("since", isoTime(since));
    // Free space changes all the time: it alone is no change of state.
    QJsonObject compared = status;
    compared.remove("freeBytes");
    if (!always && compared == written)
        return;
    written = compared;
    status.insert("heartbeat", isoTime(QDateTime::currentDateTime()));
    // Replaced whole: a reader sees the old file or the new one. One that
    // could not be written is written at the next change or heartbeat.
    if (!WholeFile::replace(path(dataFolder), QJsonDocument(status).toJson()).ok())
        written = QJsonObject();
}
