#include "sitefiles.h"

#include "wholefile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace {

// Small text files: a property file, a printer's settings.
constexpr qint64 kLargestFile = 16 * 1024 * 1024;

constexpr QFileDevice::Permissions kMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner
    | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadGroup
    | QFileDevice::ReadOther;

bool inside(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

namespace SiteFiles {

QString folder(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/site");
}

QString pathFault(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("no path given");
    if (QDir::isAbsolutePath(path))
        return QStringLiteral("'%1' is absolute: a path inside the installation is relative")
            .arg(path);
    for (const QString &part : path.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QStringLiteral("'%1' does not name a file inside the installation").arg(path);
    }
    return QString();
}

QList<Entry> list(const QString &dataFolder)
{
    QList<Entry> entries;
    const QString site = folder(dataFolder);
    if (QFileInfo(site).isSymLink())
        return entries;
    QDirIterator it(site, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        entries.append({file.mid(site.size() + 1), WholeFile::sha256(file)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.path < b.path; });
    return entries;
}

Outcome set(const QString &dataFolder, const QString &path, const QString &file)
{
    const QString fault = pathFault(path);
    if (!fault.isEmpty())
        return Outcome::failed(fault);
    if (QFileInfo(folder(dataFolder)).isSymLink())
        return Outcome::failed(QStringLiteral("%1 is a link").arg(folder(dataFolder)));
    QByteArray content;
    QString why;
    if (WholeFile::read(file, kLargestFile, &content, &why) != WholeFile::Read::Done)
        return Outcome::failed(QStringLiteral("%1: %2").arg(file, why));
    return WholeFile::replace(folder(dataFolder) + QLatin1Char('/') + path, content, kMode);
}

Outcome remove(const QString &dataFolder, const QString &path)
{
    const QString fault = pathFault(path);
    if (!fault.isEmpty())
        return Outcome::failed(fault);
    const QString site = folder(dataFolder);
    QFile file(site + QLatin1Char('/') + path);
    if (!QFileInfo(file.fileName()).isFile())
        return Outcome::failed(QStringLiteral("there is no site file %1").arg(path));
    if (!file.remove())
        return Outcome::failed(file.errorString());
    // Its folders go with their last file.
    for (QString up = QFileInfo(file.fileName()).path(); up != site && QDir(site).rmdir(up);)
        up = QFileInfo(up).path();
    return Outcome::done();
}

Outcome copies(const QString &dataFolder, const QString &installation,
               QList<Installation::Copy> *files)
{
    const QList<Entry> entries = list(dataFolder);
    const QString top = QFileInfo(installation).canonicalFilePath();
    if (top.isEmpty() && !entries.isEmpty())
        return Outcome::failed(QStringLiteral("there is no installation at %1").arg(installation));
    for (const Entry &entry : entries) {
        const QString destination = installation + QLatin1Char('/') + entry.path;
        // The nearest folder on its way that exists is inside the installation.
        QString near = QFileInfo(destination).path();
        while (!QFileInfo::exists(near))
            near = QFileInfo(near).path();
        if (!inside(QFileInfo(near).canonicalFilePath(), top)
            || (QFileInfo(destination).isSymLink()
                && !inside(QFileInfo(destination).canonicalFilePath(), top)))
            return Outcome::failed(
                QStringLiteral("site/%1 would lead out of the installation through a link")
                    .arg(entry.path));
        const QFileInfo existing(destination);
        files->append({folder(dataFolder) + QLatin1Char('/') + entry.path, destination,
                       existing.isFile() ? existing.permissions() : kMode});
    }
    // Folders are made only once every path is known to stay inside.
    for (const Installation::Copy &file : qAsConst(*files)) {
        if (!QDir().mkpath(QFileInfo(file.destination).path()))
            return Outcome::failed(
                QStringLiteral("cannot make the folder of %1").arg(file.destination));
    }
    return Outcome::done();
}

Outcome apply(const QString &dataFolder, const QString &installation)
{
    QList<Installation::Copy> files;
    const Outcome found = copies(dataFolder, installation, &files);
    if (!found.ok() || files.isEmpty())
        return found;
    const Installation::PatchResult result = Installation::copyAll(files, [](double) {});
    const QList<Installation::PatchFailure> failures = result.copyFailures + result.placeFailures;
    if (failures.isEmpty())
        return Outcome::done();
    return Outcome::failed(
        QStringLiteral("cannot copy %1 to %2: %3")
            .arg(failures.first().source, failures.first().destination, failures.first().why));
}

} // namespace SiteFiles
