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

// Removes what the open folder `folder` holds, never following a link, and
// closes it. Of its files only those whose name falls to `part` of `parts`;
// its folders are entered, and removed once empty when `parts` is 1. False
// when anything it was to remove is still there.
bool removeContents(int folder, uint part, uint parts)
{
    bool ok = true;
    const bool read = OwnFolder::eachEntry(folder, [&](int at, const char *name, int type) {
        if (type == DT_DIR) {
            ok = removeContents(OwnFolder::openFolder(at, name), part, parts) && ok;
            if (parts == 1)
                ok = ::unlinkat(at, name, AT_REMOVEDIR) == 0 && ok;
        } else if (parts == 1
                   || qHash(QByteArray::fromRawData(name, int(std::strlen(name)))) % parts
                       == part) {
            ok = (::unlinkat(at, name, 0) == 0 || errno == ENOENT) && ok;
        }
        return true;
    });
    return read && ok;
}

// An installation holds thousands of files, and a till has more than one
// core: two walks remove half of the files each, then one more removes what
// they left (a walk may miss a name the other removed beside it) and the
// folders.
bool removeFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    auto half = [&name](uint part) {
        return removeContents(OwnFolder::openFolder(AT_FDCWD, name.constData()), part, 2);
    };
    std::future<bool> other = std::async(std::launch::async, half, 1);
    half(0);
    other.wait();
    const bool emptied = removeContents(OwnFolder::openFolder(AT_FDCWD, name.constData()), 0, 1);
    return ::rmdir(name.constData()) == 0 && emptied;
}

} // namespace

namespace OwnFolder {

int openFolder(int parent, const char *name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool eachEntry(int folder, const std::function<bool(int, const char *, int)> &visit)
{
    DIR *dir = ::fdopendir(folder);
    if (!dir) {
        if (folder >= 0)
            ::close(folder);
        return false;
    }
    bool going = true;
    while (const dirent *entry = going ? ::readdir(dir) : nullptr) {
        const char *name = entry->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, ".."))
            continue;
        // Some file systems leave the type to be asked for.
        int type = entry->d_type;
        struct stat info
        {
        };
        if (type == DT_UNKNOWN && ::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
        going = visit(::dirfd(dir), name, type);
    }
    ::closedir(dir);
    return going;
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
