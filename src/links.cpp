#include "links.h"

#include "ownfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace Links {

QString target(const QString &path)
{
    char buffer[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return length > 0 ? QFile::decodeName(QByteArray(buffer, int(length))) : QString();
}

QString resolve(const QString &link)
{
    QString current = QFileInfo(link).absolutePath();
    QStringList rest = target(link).split(QLatin1Char('/'));
    if (rest.first().isEmpty())
        return QString(); // absolute
    for (int hops = 0; !rest.isEmpty();) {
        const QString part = rest.takeFirst();
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            current = QFileInfo(current).path();
            continue;
        }
        const QString next = current + QLatin1Char('/') + part;
        const QString inner = target(next);
        if (inner.isEmpty()) {
            current = next;
            continue;
        }
        if (inner.startsWith(QLatin1Char('/')) || ++hops > 40)
            return QString();
        rest = inner.split(QLatin1Char('/')) + rest;
    }
    return current;
}

Outcome allInside(const QString &root)
{
    // The walk reads each entry's type from its folder, as the folder is
    // read: an installation holds thousands of files, and only its links
    // are of interest. A link to a folder is never entered.
    QString why;
    std::function<bool(int, const QByteArray &)> walk = [&](int folder, const QByteArray &below) {
        DIR *dir = ::fdopendir(folder);
        if (!dir) {
            ::close(folder);
            why = QStringLiteral("cannot look into %1").arg(QFile::decodeName(below));
            return false;
        }
        bool ok = true;
        while (const dirent *entry = ok ? ::readdir(dir) : nullptr) {
            const char *name = entry->d_name;
            if (!std::strcmp(name, ".") || !std::strcmp(name, ".."))
                continue;
            const QByteArray path = below.isEmpty() ? QByteArray(name) : below + '/' + name;
            const int type = OwnFolder::typeOf(::dirfd(dir), name, entry->d_type);
            if (type == DT_DIR) {
                ok = walk(
                    ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
                    path);
            } else if (type == DT_LNK) {
                const QString link = root + QLatin1Char('/') + QFile::decodeName(path);
                const QString end = resolve(link);
                if (end != root && !end.startsWith(root + QLatin1Char('/'))) {
                    why = QStringLiteral("the entry %1 links to %2, outside the installation")
                              .arg(QFile::decodeName(path), target(link));
                    ok = false;
                }
            }
        }
        ::closedir(dir);
        return ok;
    };
    const int top = ::open(QFile::encodeName(root).constData(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (top < 0)
        return Outcome::failed(QStringLiteral("cannot look into %1").arg(root));
    return walk(top, QByteArray()) ? Outcome::done() : Outcome::failed(why);
}

} // namespace Links
