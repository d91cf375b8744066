#include "folderswap.h"

#include "ownfolder.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString stagingPrefix(const QString &name)
{
    return QLatin1Char('.') + name + QLatin1String(".staging-");
}

} // namespace

FolderSwap::FolderSwap(const QString &baseDir, const QString &name)
    : base(baseDir)
    , folderName(name)
{ }

QString FolderSwap::leftover(const QString &baseDir, const QString &name, const QString &tag)
{
    return baseDir + QLatin1Char('/') + stagingPrefix(name) + tag;
}

FolderSwap::Recovery FolderSwap::recover(const QString &baseDir, const QString &name)
{
    Recovery recovery;
    QDir dir(baseDir);
    // Links and files of these names too: removed themselves, never followed.
    const QFileInfoList leftovers = dir.entryInfoList(
        {stagingPrefix(name) + QLatin1Char('*')},
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Time);
    for (const QFileInfo &leftover : leftovers) {
        const bool setAside = leftover.fileName().endsWith(QLatin1String("-previous"))
            && OwnFolder::isFolder(leftover.absoluteFilePath());
        if (setAside && !OwnFolder::isThere(baseDir + QLatin1Char('/') + name)) {
            // Never deleted: when it cannot be put back, it is all there is.
            recovery.restoredFrom = leftover.absoluteFilePath();
            dir.rename(leftover.fileName(), name);
            continue;
        }
        if (!OwnFolder::remove(leftover.absoluteFilePath()))
            recovery.stuck << QStringLiteral(
                                  "Could not delete %1, left from an earlier replacement "
                                  "of %2; the next operation tries again.")
                                  .arg(leftover.absoluteFilePath(), name);
    }
    return recovery;
}

Outcome FolderSwap::stage()
{
    staging = std::make_unique<QTemporaryDir>(base + QLatin1Char('/') + stagingPrefix(folderName)
                                              + QLatin1String("XXXXXX"));
    if (!staging->isValid())
        return Outcome::failed(QStringLiteral("%1 (in %2)").arg(staging->errorString(), base));
    unpacked = staging->path() + QLatin1String("/unpacked");
    if (!QDir().mkdir(unpacked))
        return Outcome::failed(QStringLiteral("cannot create %1").arg(unpacked));
    return Outcome::done();
}

QString FolderSwap::stagingPath() const
{
    return staging ? staging->path() : QString();
}

Outcome FolderSwap::swap()
{
    QDir dir;
    const QString target = destination();
    const QString cannotMove = QStringLiteral("cannot move the unpacked files to %1").arg(target);
    if (!QFileInfo::exists(target))
        return dir.rename(unpacked, target) ? Outcome::done() : Outcome::failed(cannotMove);
    // Beside the staging folder, so that an interrupted swap is recognised
    // and undone by the next replacement.
    const QString previous = stagingPath() + QLatin1String("-previous");
    if (!dir.rename(target, previous))
        return Outcome::failed(QStringLiteral("cannot move %1 aside").arg(target));
    if (!dir.rename(unpacked, target)) {
        dir.rename(previous, target);
        return Outcome::failed(cannotMove);
    }
    replaced = previous;
    return Outcome::done();
}
