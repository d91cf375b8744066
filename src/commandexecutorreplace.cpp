// The backend's operations that replace a folder of the data folder whole:
// the Java runtime unpacked, a CCO installation imported, the previous
// installation put back. Each keeps what it would replace until the new
// one is in place, and says what it came to.

#include "commandexecutor.h"

#include "ccoprobe.h"
#include "deliveredcopy.h"
#include "folderswap.h"
#include "installation.h"
#include "updates.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSysInfo>
#include <QUrl>
#include <QtConcurrent>

using Installation::ccoFolderName;
using Installation::runtimeFolderName;

bool CommandExecutor::mayReplace(const QString &baseDir, const QString &name, bool force)
{
    QDir base(baseDir);
    if (!base.exists())
        base.mkpath(QStringLiteral("."));
    if (!force && base.exists(name)) {
        report("Directory already exists:", QDir(baseDir + QLatin1Char('/') + name).absolutePath());
        return false;
    }
    return true;
}

QString CommandExecutor::runExtractJDK()
{
    const QString dataDir = Installation::dataFolder();
    const QString prefix = assetsPrefix();
    const QString archiveName = Installation::runtimeArchiveFor(QSysInfo::currentCpuArchitecture());
    if (archiveName.isEmpty()) {
        report("Unsupported architecture:", QSysInfo::currentCpuArchitecture());
        return dataDir;
    }
    // A runtime folder that cannot run CCO is replaced, not kept.
    const QString destination = Installation::runtimeFolder(dataDir);
    const bool broken = QFileInfo::exists(destination) && !Installation::runtimeCanRun(destination);
    if (!mayReplace(dataDir, runtimeFolderName, broken))
        return dataDir;
    const QString archive = QDir(dataDir).absoluteFilePath(prefix + archiveName);
    if (refuseWhileBusy() || ccoRunsFromInstallation(QStringLiteral("Unpacking the runtime")))
        return dataDir;
    // Said only once nothing stands in the way of the replacement.
    if (broken)
        report("The runtime has no executable bin/java and is replaced:", destination);
    Outcome outcome =
        Outcome::failed(QStringLiteral("%1 is not a readable archive file").arg(archive));
    if (Installation::isRegularFile(archive)) {
        outcome = replacing(
            QStringLiteral(QT_TR_NOOP("Unpacking the Java runtime")), dataDir, runtimeFolderName,
            [=] { return Unpacking::runtime(dataDir, archive, running.reporter()); });
    }
    if (!outcome.ok())
        report("Failed to extract file. Error:", outcome.why());
    else
        report("File extracted successfully to", dataDir);
    return dataDir;
}

Outcome CommandExecutor::replacing(const QString &operation, const QString &baseDir,
                                   const QString &name,
                                   const std::function<Unpacking::Result()> &unpack)
{
    recover(baseDir, name);
    const Unpacking::Result result = running.run(operation, unpack);
    if (result.replacing && name == ccoFolderName)
        qDebug() << "Deleting existing CustomerCheckout folder";
    if (result.wrapped)
        say(QStringLiteral("The zip holds the CustomerCheckout folder itself: importing what is "
                           "inside it."));
    const QString replaced = result.replaced;
    if (result.outcome.ok() && !replaced.isEmpty()) {
        // The new folder is in place: the replaced one is kept (an import's,
        // where there is room) or deleted, while the app goes on.
        deletion = QtConcurrent::run([this, replaced, baseDir, keep = name == ccoFolderName] {
            const QString line = Updates::keepOrDelete(replaced, baseDir, keep, minimumFree);
            if (!line.isEmpty())
                say(line);
        });
    }
    return result.outcome;
}

void CommandExecutor::discardDelivered(const QString &path)
{
    if (!DeliveredCopy::isDelivered(path))
        return;
    const Outcome removed = DeliveredCopy::remove(path);
    say(removed.ok() ? QStringLiteral("Removed the delivered copy %1").arg(path)
                     : QStringLiteral("Could not remove the delivered copy %1: %2")
                           .arg(path, removed.why()));
}

void CommandExecutor::discardDeliveredCopy(const QString &fileUrl)
{
    const QUrl url(fileUrl, QUrl::TolerantMode);
    if (url.isLocalFile())
        discardDelivered(url.toLocalFile());
}

bool CommandExecutor::extractCustomCCOZip(const QString &filePath, const QString &extractedDirName,
                                          bool force)
{
    const QString dataDir = Installation::dataFolder();
    importFailure = QStringLiteral("it was refused; the output area says why");
    if (filePath.isEmpty()) {
        report("File not found:", filePath);
        return false;
    }
    const QUrl url(filePath, QUrl::TolerantMode);
    // A relative zip path names a file in the destination folder.
    const QString destination = dataDir + QLatin1Char('/') + extractedDirName;
    const QString zip =
        QDir(destination).absoluteFilePath(url.isLocalFile() ? url.toLocalFile() : filePath);
    // Whatever comes of the import, a copy delivered for it is not kept.
    const auto removal = qScopeGuard([&] { discardDelivered(zip); });
    if (refuseWhileBusy() || ccoRunsFromInstallation(QStringLiteral("Import"))
        || !mayReplace(dataDir, extractedDirName, force))
        return false;
    Outcome outcome = Outcome::failed(QStringLiteral("%1 is not a readable zip file").arg(zip));
    if (Installation::isRegularFile(zip) && extractedDirName == ccoFolderName) {
        // Replace the installation only once the whole zip has been unpacked:
        // a failed import leaves the existing one as it was.
        outcome = replacing(
            QStringLiteral(QT_TR_NOOP("Importing the CCO installation")), dataDir, extractedDirName,
            [=] { return Unpacking::installation(dataDir, zip, running.reporter()); });
    } else if (Installation::isRegularFile(zip)) {
        QDir(destination).mkpath(QStringLiteral("."));
        outcome = running.run(QStringLiteral("Importing into %1").arg(extractedDirName), [=] {
            return Unpacking::into(dataDir, extractedDirName, zip, running.reporter());
        });
    }
    importFailure = outcome.why();
    if (!outcome.ok()) {
        qDebug() << "Failed to extract file. Error:" << outcome.why();
        show(QStringLiteral("Failed to extract file. Error:") + outcome.why(), true);
        return false;
    }
    importFailure.clear();
    qDebug() << "File extracted successfully to" << dataDir;
    show(QStringLiteral("File extracted successfully to") + dataDir, true);
    return true;
}

bool CommandExecutor::goBack()
{
    if (refuseWhileBusy() || ccoRunsFromInstallation(QStringLiteral("Going back")))
        return false;
    const Outcome back = Updates::rollBack(Installation::dataFolder(), false);
    say(back.ok() ? QStringLiteral("The previous installation is back; the one it replaced is now "
                                   "the previous one.")
                  : QStringLiteral("Could not go back to the previous installation: %1.")
                        .arg(back.why()));
    return back.ok();
}
