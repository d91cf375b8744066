#include "links.h"

#include "ownfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

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
    // Each entry's type comes with its folder's listing: an installation
    // holds thousands of files, and only its links are of interest. A link
    // to a folder is never entered.
    QString why;
    std::function<bool(int, const QByteArray &)> walk = [&](int folder, const QByteArray &below) {
        const bool read = OwnFolder::eachEntry(folder, [&](int at, const char *name, int type) {
            const QByteArray path = below.isEmpty() ? QByteArray(name) : below + '/' + name;
            if (type == DT_DIR)
                return walk(OwnFolder::openFolder(at, name), path);
            if (type != DT_LNK)
                return true;
            const QString link = root + QLatin1Char('/') + QFile::decodeName(path);
            const QString end = resolve(link);
            if (end == root || end.startsWith(root + QLatin1Char('/')))
                return true;
            why = QStringLiteral("the entry %1 links to %2, outside the installation")
                      .arg(QFile::decodeName(path), target(link));
            return false;
        });
        if (!read && why.isEmpty())
            why = QStringLiteral("cannot look into %1")
                      .arg(below.isEmpty() ? root : QFile::decodeName(below));
        return read;
    };
    return walk(OwnFolder::openFolder(AT_FDCWD, QFile::encodeName(root).constData()), {})
        ? Outcome::done()
        : Outcome::failed(why);
}

} // namespace Links
