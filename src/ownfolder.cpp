#include "ownfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>

namespace {

int openFolder(int parent, const char *name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Removes what the open folder `folder` holds, never following a link, and
// closes it. Of its files only those whose name falls to `part` of `parts`;
// its folders are entered, and removed once empty when `parts` is 1. False
// when anything it was to remove is still there.
bool removeContents(int folder, uint part, uint parts)
{
    DIR *dir = ::fdopendir(folder);
    if (!dir) {
        ::close(folder);
        return false;
    }
    bool ok = true;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, ".."))
            continue;
        if (OwnFolder::typeOf(::dirfd(dir), name, entry->d_type) == DT_DIR) {
            const int inner = openFolder(::dirfd(dir), name);
            ok = inner >= 0 && removeContents(inner, part, parts) && ok;
            if (parts == 1)
                ok = ::unlinkat(::dirfd(dir), name, AT_REMOVEDIR) == 0 && ok;
        } else if (parts == 1
                   || qHash(QByteArray::fromRawData(name, int(std::strlen(name)))) % parts
                       == part) {
            ok = (::unlinkat(::dirfd(dir), name, 0) == 0 || errno == ENOENT) && ok;
        }
    }
    ::closedir(dir);
    return ok;
}

// An installation holds thousands of files, and a till has more than one
// core: two walks remove half of the files each, then one more removes what
// they left (a walk may miss a name the other removed beside it) and the
// folders.
bool removeFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    auto half = [&name](uint part) {
        const int folder = openFolder(AT_FDCWD, name.constData());
        return folder >= 0 && removeContents(folder, part, 2);
    };
    std::future<bool> other = std::async(std::launch::async, half, 1);
    half(0);
    other.wait();
    const int folder = openFolder(AT_FDCWD, name.constData());
    const bool emptied = folder >= 0 && removeContents(folder, 0, 1);
    return ::rmdir(name.constData()) == 0 && emptied;
}

} // namespace

namespace OwnFolder {

int typeOf(int folder, const char *name, int reported)
{
    if (reported != DT_UNKNOWN)
        return reported;
    struct stat info
    {
    };
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return DT_UNKNOWN;
    return S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
}

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
        return removeFolder(path);
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
