#include "ownfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace OwnFolder {

bool isFolder(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isThere(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

bool remove(const QString &path)
{
    if (isFolder(path))
        return QDir(path).removeRecursively();
    return !isThere(path) || QFile::remove(path);
}

QString moveAside(const QString &path)
{
    const QString base = path + QLatin1String(".broken-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = base;
    for (int n = 2; isThere(aside); ++n)
        aside = base + QLatin1Char('-') + QString::number(n);
    // A rename moves a link itself, never what it leads to.
    return QDir().rename(path, aside) ? aside : QString();
}

Outcome makePrivate(const QString &path, QString *movedTo)
{
    if (isThere(path) && !isFolder(path)) {
        *movedTo = moveAside(path);
        if (movedTo->isEmpty())
            return Outcome::failed(
                QStringLiteral("%1 is not a folder and cannot be moved aside").arg(path));
    }
    if (!isFolder(path) && !QDir().mkpath(path))
        return Outcome::failed(QStringLiteral("cannot create %1").arg(path));
    if (!QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return Outcome::failed(QStringLiteral("cannot make %1 private").arg(path));
    return Outcome::done();
}

} // namespace OwnFolder
