#include "deliveredcopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace DeliveredCopy {

QString incomingFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation)
        + QLatin1String("/HubIncoming");
}

bool isDelivered(const QString &path)
{
    // The folder that holds it, links resolved, lies inside the incoming
    // folder; the file itself is what is removed, a link or not.
    const QString incoming = QFileInfo(incomingFolder()).canonicalFilePath();
    const QFileInfo file(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return !incoming.isEmpty() && !folder.isEmpty() && file.exists()
        && (folder == incoming || folder.startsWith(incoming + QLatin1Char('/')))
        && (file.isFile() || file.isSymLink());
}

Outcome remove(const QString &path)
{
    QFile file(path);
    if (!file.remove())
        return Outcome::failed(file.errorString());
    const QString incoming = QFileInfo(incomingFolder()).canonicalFilePath();
    QDir folder = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    while (folder.absolutePath().startsWith(incoming + QLatin1Char('/'))) {
        const QString name = folder.dirName();
        if (!folder.cdUp() || !folder.rmdir(name))
            break; // not empty, or not ours to remove
    }
    return Outcome::done();
}

} // namespace DeliveredCopy
