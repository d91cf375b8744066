#include "outputfollower.h"

#include <sys/stat.h>

namespace {

quint64 inodeOf(const QString &name)
{
    struct stat st;
    return ::stat(QFile::encodeName(name).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

} // namespace

bool OutputFollower::openAt(const QString &name, quint64 wanted, qint64 offset)
{
    const quint64 found = inodeOf(name);
    if (found == 0 || (wanted != 0 && found != wanted))
        return false;
    file.close();
    file.setFileName(name);
    // Unbuffered: the file grows after every read to its end.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    inode = found;
    file.seek(qMin(offset, file.size()));
    return true;
}

QByteArray OutputFollower::take()
{
    if (!file.isOpen() && resumeAt.inode != 0) {
        // The file read before the app was closed, where it is now.
        if (!openAt(path, resumeAt.inode, resumeAt.offset))
            openAt(path + QLatin1String(".1"), resumeAt.inode, resumeAt.offset);
        resumeAt = Position();
    }
    QByteArray data;
    if (file.isOpen())
        data = file.readAll();
    // A new file in its place: the rest of the old one is read above.
    const quint64 current = inodeOf(path);
    if (current != 0 && current != inode && openAt(path, 0, 0))
        data += file.readAll();
    return data;
}
