#include "links.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <unistd.h>

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
    QDirIterator it(root, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isSymLink())
            continue;
        const QString end = resolve(path);
        if (end != root && !end.startsWith(root + QLatin1Char('/')))
            return Outcome::failed(
                QStringLiteral("the entry %1 links to %2, outside the installation")
                    .arg(QDir(root).relativeFilePath(path), target(path)));
    }
    return Outcome::done();
}

} // namespace Links
