#include "updates.h"

#include "folderswap.h"
#include "installation.h"
#include "ownfolder.h"
#include "processtree.h"
#include "sitefiles.h"
#include "tillcounters.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>

#include <csignal>

namespace {

// Moves `folder` out of the way, under a name whose leftovers the next
// operation's recovery removes, and removes it; false when it stays.
// Anything but a folder there is moved aside, never followed.
bool removeFolder(const QString &folder, const QString &dataFolder)
{
    if (!OwnFolder::isThere(folder))
        return true;
    if (!OwnFolder::isFolder(folder))
        return !OwnFolder::moveAside(folder).isEmpty();
    const QString trash =
        FolderSwap::leftover(dataFolder, Installation::ccoFolderName, QStringLiteral("old"));
    OwnFolder::remove(trash);
    if (!QDir().rename(folder, trash))
        return false;
    OwnFolder::remove(trash);
    return true;
}

} // namespace

namespace Updates {

QString previousFolder(const QString &dataFolder)
{
    return Installation::ccoFolder(dataFolder) + QLatin1String(".previous");
}

QString failedFolder(const QString &dataFolder)
{
    return Installation::ccoFolder(dataFolder) + QLatin1String(".failed");
}

bool hasPrevious(const QString &dataFolder)
{
    return OwnFolder::isFolder(previousFolder(dataFolder));
}

bool roomToKeep(qint64 available, qint64 total, qint64 minimumFree)
{
    return available >= qMax(minimumFree, total / 10);
}

Kept keepAsPrevious(const QString &replaced, const QString &dataFolder, qint64 minimumFree)
{
    if (!removeFolder(previousFolder(dataFolder), dataFolder))
        return Kept::Failed;
    const QStorageInfo disk(dataFolder);
    if (!roomToKeep(disk.bytesAvailable(), disk.bytesTotal(), minimumFree))
        return Kept::NoRoom;
    return QDir().rename(replaced, previousFolder(dataFolder)) ? Kept::Kept : Kept::Failed;
}

QString keepOrDelete(const QString &replaced, const QString &dataFolder, bool keep,
                     qint64 minimumFree)
{
    const Kept kept = keep ? keepAsPrevious(replaced, dataFolder, minimumFree) : Kept::Failed;
    if (kept == Kept::Kept)
        return QString();
    if (!OwnFolder::remove(replaced))
        return QStringLiteral("Could not delete the replaced folder, set aside at %1; the next "
                              "operation tries again.")
            .arg(replaced);
    if (kept == Kept::NoRoom)
        return QStringLiteral("The previous installation was not kept: keeping it would leave "
                              "less than a tenth of the disk, or 500 MB, free.");
    return QString();
}

Outcome rollBack(const QString &dataFolder, bool failed)
{
    const QString current = Installation::ccoFolder(dataFolder);
    const QString previous = previousFolder(dataFolder);
    if (OwnFolder::isThere(previous) && !hasPrevious(dataFolder))
        return Outcome::failed(
            QStringLiteral("%1 is not a folder of the data folder").arg(previous));
    if (!hasPrevious(dataFolder))
        return Outcome::failed(QStringLiteral("there is no previous installation"));
    const QString kept = failed ? failedFolder(dataFolder) : previous;
    if (failed && !removeFolder(kept, dataFolder))
        return Outcome::failed(QStringLiteral("cannot remove %1").arg(kept));
    // The same two renames as an import's swap: the current one aside, where
    // the next operation's recovery puts it back should the app be stopped
    // in between; the previous one in its place, and back when that fails.
    const QString aside = FolderSwap::leftover(dataFolder, Installation::ccoFolderName,
                                               QStringLiteral("back-previous"));
    QDir dir;
    // What an interrupted rollback left aside is the installation, unless
    // one is in place.
    if (OwnFolder::isFolder(aside) && !OwnFolder::isThere(current) && !dir.rename(aside, current))
        return Outcome::failed(QStringLiteral("cannot put %1 back").arg(aside));
    OwnFolder::remove(aside);
    // The till's own files go with the installation that comes back.
    const Outcome site = SiteFiles::apply(dataFolder, previous);
    if (!site.ok())
        return Outcome::failed(
            QStringLiteral("the till's own files (site/) cannot be laid over %1: %2")
                .arg(previous, site.why()));
    if (OwnFolder::isThere(current) && !dir.rename(current, aside))
        return Outcome::failed(QStringLiteral("cannot move %1 aside").arg(current));
    if (!dir.rename(previous, current)) {
        dir.rename(aside, current);
        return Outcome::failed(QStringLiteral("cannot move %1 into place").arg(previous));
    }
    dir.rename(aside, kept);
    QFile::remove(trialFile(dataFolder));
    // A count that cannot be written costs a monitor one rollback, never
    // the rollback.
    static_cast<void>(TillCounters::addRollback(dataFolder));
    return Outcome::done();
}

QString trialFile(const QString &dataFolder)
{
    return Installation::ccoFolder(dataFolder) + QLatin1String(".trial");
}

void beginTrial(const QString &dataFolder)
{
    QFile trial(trialFile(dataFolder));
    if (trial.open(QIODevice::WriteOnly | QIODevice::Truncate))
        trial.write("0\n");
}

} // namespace Updates

InstallationTrial::InstallationTrial(const QString &dataFolder,
                                     const std::function<qint64()> &ccoPid, QObject *parent)
    : QObject(parent)
    , dataFolder(dataFolder)
    , ccoPid(ccoPid)
{
    readiness.setSingleShot(true);
    connect(&readiness, &QTimer::timeout, this, [this] {
        if (!isOn())
            return;
        failedNow = true;
        emit message(QStringLiteral("The new installation did not get ready within %1 seconds: "
                                    "stopping it.")
                         .arg(readiness.interval() / 1000));
        // Its end is reported as any end of CCO, and ends the trial.
        const QList<qint64> tree = ProcessTree::of(this->ccoPid());
        ProcessTree::signal(tree, SIGTERM);
        QTimer::singleShot(killAfter, this, [tree] { ProcessTree::signal(tree, SIGKILL); });
    });
}

QString InstallationTrial::file() const
{
    return Updates::trialFile(dataFolder);
}

bool InstallationTrial::isOn() const
{
    return QFile::exists(file());
}

int InstallationTrial::deaths() const
{
    QFile trial(file());
    return trial.open(QIODevice::ReadOnly) ? trial.readAll().trimmed().toInt() : 0;
}

void InstallationTrial::setDeaths(int deaths)
{
    QFile trial(file());
    if (trial.open(QIODevice::WriteOnly | QIODevice::Truncate))
        trial.write(QByteArray::number(deaths) + '\n');
}

void InstallationTrial::started(int readinessMs, int killAfterMs, int deaths)
{
    failedNow = false;
    killAfter = killAfterMs;
    deathsToFail = deaths;
    if (isOn())
        readiness.start(readinessMs);
}

void InstallationTrial::passed()
{
    readiness.stop();
    QFile::remove(file());
}

bool InstallationTrial::died()
{
    readiness.stop();
    if (!isOn())
        return false;
    const int count = deaths() + 1;
    if (!failedNow && count < deathsToFail) {
        setDeaths(count);
        return false;
    }
    // Never twice in a row: whatever comes of it, the trial is over.
    QFile::remove(file());
    const Outcome back = Updates::rollBack(dataFolder, true);
    if (!back.ok()) {
        emit message(QStringLiteral("The new installation never got ready, and the previous one "
                                    "cannot be put back: %1.")
                         .arg(back.why()));
        return false;
    }
    emit message(QStringLiteral("The new installation never got ready; the previous one is back. "
                                "The new one is kept as %1.")
                     .arg(Updates::failedFolder(dataFolder)));
    emit rolledBack();
    return true;
}
